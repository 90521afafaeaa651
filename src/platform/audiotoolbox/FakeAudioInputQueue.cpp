#include "platform/audiotoolbox/FakeAudioInputQueue.h"

namespace pex {

FakeAudioInputQueue::FakeAudioInputQueue(std::shared_ptr<FakeCaptureDevice> device,
                                         InputCallback onInput, FailureCallback onFailure)
    : AudioInputQueue(std::move(onInput), std::move(onFailure)), device_(std::move(device)) {}

FakeAudioInputQueue::~FakeAudioInputQueue() {
    stop();
}

std::optional<AudioQueueError> FakeAudioInputQueue::start() {
    if (thread_.joinable()) return std::nullopt;
    std::vector<FakeCaptureDevice::Buffer> script;
    std::optional<AudioQueueError> failAfter;
    {
        std::lock_guard lock(device_->mutex_);
        if (device_->failStart_) return device_->failStart_;
        script = device_->script_;
        failAfter = device_->failAfterScript_;
        duringStop_ = device_->duringStop_;
        device_->running_ = this;
        device_->scriptDelivered_ = false;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
        firstDelivered_ = false;
    }
    thread_ = std::thread([this, script = std::move(script), failAfter]() mutable {
        play(std::move(script), std::move(failAfter));
    });
    // A real queue may hand over its first buffer before its start call has returned; the fake
    // always does, so an owner that is not ready for frames until after `start` loses them in
    // every run rather than in a rare one.
    std::unique_lock lock(mutex_);
    firstDeliveredChanged_.wait(lock, [&] { return firstDelivered_; });
    return std::nullopt;
}

void FakeAudioInputQueue::markFirstDelivered() {
    {
        std::lock_guard lock(mutex_);
        if (firstDelivered_) return;
        firstDelivered_ = true;
    }
    firstDeliveredChanged_.notify_all();
}

void FakeAudioInputQueue::play(std::vector<FakeCaptureDevice::Buffer> script,
                               std::optional<AudioQueueError> failAfter) {
    for (const auto& buffer : script) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        deliver(buffer);
        markFirstDelivered();
    }
    markFirstDelivered();  // an empty script
    {
        std::lock_guard lock(device_->mutex_);
        device_->scriptDelivered_ = true;
    }
    device_->changed_.notify_all();
    if (failAfter) fail(*failAfter);

    std::unique_lock lock(mutex_);
    stopRequested_.wait(lock, [&] { return stopping_; });
    lock.unlock();
    if (!duringStop_.empty()) deliver(duringStop_);
}

void FakeAudioInputQueue::stop() {
    {
        std::lock_guard lock(device_->mutex_);
        if (device_->running_ == this) device_->running_ = nullptr;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopRequested_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace pex
