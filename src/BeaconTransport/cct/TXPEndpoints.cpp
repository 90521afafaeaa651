#include "BeaconTransport/cct/TXPEndpoints.h"

#include <mutex>

#include "platform/foundation/DeploymentDefaults.h"

namespace pex {

namespace {

std::mutex& originMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::optional<std::string>& originOverride() {
    static auto* origin = new std::optional<std::string>;
    return *origin;
}

}  // namespace

std::string TXPEndpoints::origin() {
    std::lock_guard lock(originMutex());
    return originOverride().value_or(deployment_defaults::kTelemetryOrigin);
}

void TXPEndpoints::setOriginForTesting(std::optional<std::string> origin) {
    std::lock_guard lock(originMutex());
    originOverride() = std::move(origin);
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
