#pragma once
// Each configured app's daily heartbeat: logged under the current user-agent text when the
// application becomes active, and turned into the "X-beacon-client" header value (which
// consumes the stored heartbeats).
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "beacon-core/BCNHeartbeatController.h"

namespace pex {

enum class BCNHeartbeatInfoCode { None = 0, Combined = 2 };

class BCNHeartbeatLogger {
  public:
    using UserAgentProvider = std::function<std::string()>;

    // The application object's user-agent text at the moment of the call.
    static UserAgentProvider currentUserAgentProvider();

    explicit BCNHeartbeatLogger(const std::string& appID,
                                UserAgentProvider userAgentProvider = currentUserAgentProvider(),
                                HeartbeatController::WallClock clock = nullptr);

    void log();
    BCNHeartbeatsPayload flushHeartbeatsIntoPayload();
    void flushHeartbeatsIntoPayloadWithCompletionHandler(
        std::function<void(BCNHeartbeatsPayload)> completion);
    // None when there are no heartbeats (a request then carries no header).
    std::optional<std::string> headerValue();
    void asyncHeaderValueWithCompletionHandler(
        std::function<void(std::optional<std::string>)> completion);
    // 2 when today's heartbeat was stored (it is taken out), else 0.
    BCNHeartbeatInfoCode heartbeatCodeForToday();

  private:
    UserAgentProvider userAgentProvider() const;

    BCNHeartbeatController heartbeatController_;
    mutable std::mutex propertyLock_;
    UserAgentProvider userAgentProvider_;
};

std::optional<std::string> BCNHeaderValueFromHeartbeatsPayload(const BCNHeartbeatsPayload& payload);

}  // namespace pex
