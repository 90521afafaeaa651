#pragma once
// Changes spread over a duration on the main queue, timed by the current Clock (so tests run
// a fade by advancing a ManualClock): `step` gets the elapsed fraction 0...1 on every frame,
// and `completion` runs once after the last frame. The animation runs while its handle is
// held; dropping the handle or calling stop() ends it without the completion.
#include <functional>
#include <memory>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchTimer.h"

namespace pex {

class AnimationGroup : public std::enable_shared_from_this<AnimationGroup> {
  public:
    using Step = std::function<void(double fraction)>;
    using Completion = std::function<void()>;

    static std::shared_ptr<AnimationGroup> run(Clock::Duration duration, Step step,
                                               Completion completion);

    // Ends the animation where it is; the completion does not run.
    void stop();
    // Jumps to the end: the last step, then the completion, now.
    void finishNow();
    bool isRunning() const { return running_; }

    AnimationGroup(Clock::Duration duration, Step step, Completion completion);
    ~AnimationGroup();

  private:
    void start();
    void tick();
    void finish();

    Clock::Duration duration_;
    Step step_;
    Completion completion_;
    Clock::TimePoint start_{};
    std::unique_ptr<DispatchTimer> timer_;
    bool running_ = false;
};

}  // namespace pex
