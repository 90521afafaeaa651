#pragma once
// Moves a manual clock on in 16 ms frames, running the Qt events that each frame makes due, so
// fades and slides step through their frames as on screen; then deletes what asked for deferred
// deletion (views taken away at the end of an animation).
#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>

#include "platform/foundation/Clock.h"

namespace pex::test {

inline void advanceInFrames(ManualClock& clock, Clock::Duration by) {
    const Clock::Duration frame = std::chrono::milliseconds(16);
    while (by > Clock::Duration::zero()) {
        const Clock::Duration step = std::min(by, frame);
        clock.advance(step);
        by -= step;
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace pex::test
