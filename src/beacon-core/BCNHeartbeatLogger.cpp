#include "beacon-core/BCNHeartbeatLogger.h"

#include "beacon-core/BCNApp.h"

namespace pex {

BCNHeartbeatLogger::UserAgentProvider BCNHeartbeatLogger::currentUserAgentProvider() {
    return [] { return BCNApp::beaconUserAgent(); };
}

BCNHeartbeatLogger::BCNHeartbeatLogger(const std::string& appID, UserAgentProvider provider,
                                       HeartbeatController::WallClock clock)
    : heartbeatController_(appID, std::move(clock)), userAgentProvider_(std::move(provider)) {}

BCNHeartbeatLogger::UserAgentProvider BCNHeartbeatLogger::userAgentProvider() const {
    std::lock_guard lock(propertyLock_);
    return userAgentProvider_;
}

void BCNHeartbeatLogger::log() {
    const auto provider = userAgentProvider();
    heartbeatController_.log(provider ? provider() : std::string());
}

BCNHeartbeatsPayload BCNHeartbeatLogger::flushHeartbeatsIntoPayload() {
    return heartbeatController_.flush();
}

void BCNHeartbeatLogger::flushHeartbeatsIntoPayloadWithCompletionHandler(
    std::function<void(BCNHeartbeatsPayload)> completion) {
    heartbeatController_.flushAsyncWithCompletionHandler(std::move(completion));
}

std::optional<std::string> BCNHeartbeatLogger::headerValue() {
    return BCNHeaderValueFromHeartbeatsPayload(flushHeartbeatsIntoPayload());
}

void BCNHeartbeatLogger::asyncHeaderValueWithCompletionHandler(
    std::function<void(std::optional<std::string>)> completion) {
    flushHeartbeatsIntoPayloadWithCompletionHandler(
        [completion = std::move(completion)](BCNHeartbeatsPayload payload) {
            if (completion) completion(BCNHeaderValueFromHeartbeatsPayload(payload));
        });
}

BCNHeartbeatInfoCode BCNHeartbeatLogger::heartbeatCodeForToday() {
    return heartbeatController_.flushHeartbeatFromToday().isEmpty()
               ? BCNHeartbeatInfoCode::None
               : BCNHeartbeatInfoCode::Combined;
}

std::optional<std::string> BCNHeaderValueFromHeartbeatsPayload(
    const BCNHeartbeatsPayload& payload) {
    if (payload.isEmpty()) return std::nullopt;
    return payload.headerValue();
}

}  // namespace pex
