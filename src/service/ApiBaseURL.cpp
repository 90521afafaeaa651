#include "service/ApiBaseURL.h"

#include <mutex>
#include <optional>

#include "platform/foundation/DeploymentSettings.h"

namespace pex {

namespace {

std::mutex gMutex;
// Unset means "the initial value", read from the deployment settings at each use so that a
// test that moves the service host sees the new host.
std::optional<std::string> gBase;

}  // namespace

std::string initialApiBaseURL() {
    return DeploymentSettings::current().serviceOrigin.text() + "/api/v1";
}

std::string apiBaseURL() {
    {
        std::lock_guard lock(gMutex);
        if (gBase) return *gBase;
    }
    return initialApiBaseURL();
}

void setApiBaseURL(std::string base) {
    std::lock_guard lock(gMutex);
    gBase = std::move(base);
}

void resetApiBaseURL() {
    std::lock_guard lock(gMutex);
    gBase.reset();
}

}  // namespace pex
