#include "crashreporter/network/CRSSettingsEndpoint.h"

#include "platform/foundation/DeploymentDefaults.h"
#include "platform/foundation/DeploymentOrigin.h"

namespace pex {

namespace {

DeploymentOrigin& deployedOrigin() {
    static auto* origin = new DeploymentOrigin(deployment_defaults::kCrashReporterSettingsOrigin);
    return *origin;
}

}  // namespace

std::string CRSSettingsEndpoint::origin() {
    return deployedOrigin().value();
}

void CRSSettingsEndpoint::setOriginForTesting(std::optional<std::string> origin) {
    deployedOrigin().setForTesting(std::move(origin));
}

}  // namespace pex
