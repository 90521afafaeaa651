#pragma once
// Starts a new session when the application becomes active after a longer stay in the
// background than the session timeout. Its handlers run on the thread that posts the
// application's notifications (the main thread); it does not lock.
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Clock.h"
#include "sessions/SettingsProtocol.h"

namespace pex {

class SessionInitiator {
  public:
    using CurrentTime = std::function<Clock::TimePoint()>;

    // `settings` outlives the initiator. The current time is the injectable clock's time
    // including sleep unless a source is given.
    explicit SessionInitiator(const SettingsProtocol& settings, CurrentTime currentTime = nullptr);

    void setInitiateSessionStart(std::function<void()> action) {
        initiateSessionStart_ = std::move(action);
    }

    void appBackgrounded();
    void appForegrounded();

  private:
    CurrentTime currentTime_;
    const SettingsProtocol& settings_;
    // When the application last resigned active; none (the distant future) before that.
    std::optional<Clock::TimePoint> backgroundTime_;
    std::function<void()> initiateSessionStart_;
};

}  // namespace pex
