#include "sessions/SessionInitiator.h"

#include <chrono>

namespace pex {

SessionInitiator::SessionInitiator(const SettingsProtocol& settings, CurrentTime currentTime)
    : currentTime_(std::move(currentTime)), settings_(settings) {
    // A night with the lid closed is time away: the monotonic clock would not count it.
    if (!currentTime_) currentTime_ = [] { return Clock::current()->nowIncludingSleep(); };
}

void SessionInitiator::appBackgrounded() {
    backgroundTime_ = currentTime_();
}

void SessionInitiator::appForegrounded() {
    if (!backgroundTime_) return;  // never backgrounded: the distant future is never passed
    const double elapsed = std::chrono::duration<double>(currentTime_() - *backgroundTime_).count();
    if (elapsed > settings_.sessionTimeout() && initiateSessionStart_) initiateSessionStart_();
}

}  // namespace pex
