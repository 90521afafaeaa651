#include "BeaconTransport/cct/TXPEndpoints.h"

#include "platform/foundation/DeploymentDefaults.h"
#include "platform/foundation/DeploymentOrigin.h"

namespace pex {

namespace {

DeploymentOrigin& deployedOrigin() {
    static auto* origin = new DeploymentOrigin(deployment_defaults::kTelemetryOrigin);
    return *origin;
}

}  // namespace

std::string TXPEndpoints::origin() {
    return deployedOrigin().value();
}

void TXPEndpoints::setOriginForTesting(std::optional<std::string> origin) {
    deployedOrigin().setForTesting(std::move(origin));
}

std::optional<std::string> TXPEndpoints::uploadURLForTarget(std::int64_t target) {
    switch (target) {
        case 1000:
            return origin() + "/telemetry/log";
        case 1001:
            return origin() + "/telemetry/batchlog";
        case 1002:
            return origin() + "/telemetry/crash";
        case 1003:
            return origin() + "/telemetry/placeholder";
        default:
            return std::nullopt;
    }
}

std::string TXPEndpoints::userAgentName(std::int64_t target) {
    switch (target) {
        case 1000:
            return "txb";
        case 1001:
            return "fll";
        case 1002:
            return "csh";
        case 1003:
            return "int";
        default:
            return "unknown";
    }
}

std::optional<std::string> TXPEndpoints::APIKeyForTarget(std::int64_t target) {
    if (target >= 1001 && target <= 1003) return std::string(deployment_defaults::kTelemetryApiKey);
    return std::nullopt;
}

}  // namespace pex
