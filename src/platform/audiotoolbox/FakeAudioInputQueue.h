#pragma once
// One input queue of a FakeCaptureDevice (see there); made only by the device.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/audiotoolbox/AudioInputQueue.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"

namespace pex {

class FakeAudioInputQueue final : public AudioInputQueue {
  public:
    FakeAudioInputQueue(std::shared_ptr<FakeCaptureDevice> device, InputCallback onInput,
                        FailureCallback onFailure);
    ~FakeAudioInputQueue() override;

    std::optional<AudioQueueError> start() override;
    void stop() override;

    // Hands a buffer over on the calling thread, as the queue's own thread would.
    void deliverNow(std::span<const std::uint8_t> bytes) { deliver(bytes); }

  private:
    void play(std::vector<FakeCaptureDevice::Buffer> script,
              std::optional<AudioQueueError> failAfter);
    void markFirstDelivered();

    std::shared_ptr<FakeCaptureDevice> device_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable stopRequested_;
    bool stopping_ = false;
    std::condition_variable firstDeliveredChanged_;
    bool firstDelivered_ = false;  // `start` returns once the first buffer has been handed over
    FakeCaptureDevice::Buffer duringStop_;
};

}  // namespace pex
