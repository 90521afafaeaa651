#include "platform/appkit/AnimationGroup.h"

#include <algorithm>

#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {
// About sixty frames a second.
constexpr auto kFrameInterval = std::chrono::microseconds(16667);
}  // namespace

std::shared_ptr<AnimationGroup> AnimationGroup::run(Clock::Duration duration, Step step,
                                                    Completion completion) {
    assertMainThread("AnimationGroup::run");
    auto group = std::make_shared<AnimationGroup>(duration, std::move(step), std::move(completion));
    group->start();
    return group;
}

AnimationGroup::AnimationGroup(Clock::Duration duration, Step step, Completion completion)
    : duration_(duration), step_(std::move(step)), completion_(std::move(completion)) {}

AnimationGroup::~AnimationGroup() = default;

void AnimationGroup::start() {
    running_ = true;
    start_ = Clock::current()->now();
    timer_ = std::make_unique<DispatchTimer>(DispatchQueue::main(), kFrameInterval,
                                             [weak = weak_from_this()] {
                                                 if (auto self = weak.lock()) self->tick();
                                             });
    timer_->resume();
}

void AnimationGroup::tick() {
    if (!running_) return;
    const auto elapsed = Clock::current()->now() - start_;
    const double fraction =
        duration_ <= Clock::Duration::zero()
            ? 1.0
            : std::clamp(static_cast<double>(elapsed.count()) / duration_.count(), 0.0, 1.0);
    if (fraction >= 1.0) {
        finish();
        return;
    }
    if (step_) step_(fraction);
}

void AnimationGroup::stop() {
    running_ = false;
    if (timer_) timer_->cancel();
}

void AnimationGroup::finishNow() {
    if (running_) finish();
}

void AnimationGroup::finish() {
    // The completion may drop the last handle to this group: keep it alive until done.
    auto keep = shared_from_this();
    stop();
    if (step_) step_(1.0);
    if (Completion completion = std::move(completion_)) completion();
}

}  // namespace pex
