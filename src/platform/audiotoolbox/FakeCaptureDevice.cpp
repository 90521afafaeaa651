#include "platform/audiotoolbox/FakeCaptureDevice.h"

#include "platform/audiotoolbox/FakeAudioInputQueue.h"

namespace pex {

std::shared_ptr<FakeCaptureDevice> FakeCaptureDevice::install() {
    std::shared_ptr<FakeCaptureDevice> device(new FakeCaptureDevice());
    std::weak_ptr<FakeCaptureDevice> weak = device;
    AudioInputQueue::setFactory([weak](const AudioCaptureFormat&,
                                       AudioInputQueue::InputCallback onInput,
                                       AudioInputQueue::FailureCallback onFailure) {
        const auto device = weak.lock();
        if (!device)
            return AudioInputQueueResult{nullptr, AudioQueueError{-1, "no capture device"}};
        return device->makeQueue(std::move(onInput), std::move(onFailure));
    });
    return device;
}

FakeCaptureDevice::~FakeCaptureDevice() {
    AudioInputQueue::setFactory(nullptr);
}

std::vector<FakeCaptureDevice::Buffer> FakeCaptureDevice::countingBuffers(
    const std::vector<std::size_t>& sizes) {
    std::vector<Buffer> buffers;
    std::size_t next = 0;
    for (const std::size_t size : sizes) {
        Buffer buffer(size);
        for (auto& byte : buffer) byte = static_cast<std::uint8_t>(next++ % 251);
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

void FakeCaptureDevice::setScript(std::vector<Buffer> buffers) {
    std::lock_guard lock(mutex_);
    script_ = std::move(buffers);
}

void FakeCaptureDevice::failCreate(std::optional<AudioQueueError> error) {
    std::lock_guard lock(mutex_);
    failCreate_ = std::move(error);
}

void FakeCaptureDevice::failStart(std::optional<AudioQueueError> error) {
    std::lock_guard lock(mutex_);
    failStart_ = std::move(error);
}

void FakeCaptureDevice::failAfterScript(std::optional<AudioQueueError> error) {
    std::lock_guard lock(mutex_);
    failAfterScript_ = std::move(error);
}

void FakeCaptureDevice::deliverDuringStop(Buffer buffer) {
    std::lock_guard lock(mutex_);
    duringStop_ = std::move(buffer);
}

int FakeCaptureDevice::queuesCreated() const {
    std::lock_guard lock(mutex_);
    return created_;
}

bool FakeCaptureDevice::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_ != nullptr;
}

bool FakeCaptureDevice::waitUntilScriptDelivered(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return scriptDelivered_; });
}

bool FakeCaptureDevice::push(std::span<const std::uint8_t> bytes) {
    // The running queue cannot go away while we deliver: its stop takes this lock to unregister.
    std::lock_guard lock(mutex_);
    if (!running_) return false;
    running_->deliverNow(bytes);
    return true;
}

AudioInputQueueResult FakeCaptureDevice::makeQueue(AudioInputQueue::InputCallback onInput,
                                                   AudioInputQueue::FailureCallback onFailure) {
    std::lock_guard lock(mutex_);
    if (failCreate_) return {nullptr, failCreate_};
    ++created_;
    return {std::make_unique<FakeAudioInputQueue>(shared_from_this(), std::move(onInput),
                                                  std::move(onFailure)),
            std::nullopt};
}

}  // namespace pex
