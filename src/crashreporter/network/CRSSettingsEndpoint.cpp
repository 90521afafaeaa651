#include "crashreporter/network/CRSSettingsEndpoint.h"

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

std::string CRSSettingsEndpoint::origin() {
    std::lock_guard lock(originMutex());
    return originOverride().value_or(deployment_defaults::kCrashReporterSettingsOrigin);
}

void CRSSettingsEndpoint::setOriginForTesting(std::optional<std::string> origin) {
    std::lock_guard lock(originMutex());
    originOverride() = std::move(origin);
}

}  // namespace pex
