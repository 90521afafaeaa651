#pragma once
// An in-memory input backend for tests and benches. Installing a device makes every input queue
// of the process come from it: on `start` a queue plays the device's script, buffer by buffer,
// on a thread of its own, then waits for `stop`; `start` returns once the first buffer has been
// handed over. Failures can be asked for at creation, at start
// or right after the script; `push` lets a caller act as the queue's thread itself.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/audiotoolbox/AudioInputQueue.h"

namespace pex {

class FakeAudioInputQueue;

class FakeCaptureDevice : public std::enable_shared_from_this<FakeCaptureDevice> {
  public:
    using Buffer = std::vector<std::uint8_t>;

    // A new device, installed as the process's input backend until it is destroyed.
    static std::shared_ptr<FakeCaptureDevice> install();
    ~FakeCaptureDevice();

    // Buffers of the given sizes whose bytes count up (0, 1, ... 250, 0, ...) across the whole
    // script, so a reader can tell a lost or reordered byte.
    static std::vector<Buffer> countingBuffers(const std::vector<std::size_t>& sizes);

    // What the next queues do.
    void setScript(std::vector<Buffer> buffers);
    void failCreate(std::optional<AudioQueueError> error);
    void failStart(std::optional<AudioQueueError> error);
    // After the script the queue dies with this error (as when the server goes away).
    void failAfterScript(std::optional<AudioQueueError> error);
    // One buffer the delivery thread hands over while `stop` is running, as a buffer in flight.
    void deliverDuringStop(Buffer buffer);

    int queuesCreated() const;
    bool isRunning() const;
    // Waits until a running queue has delivered its whole script.
    bool waitUntilScriptDelivered(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Delivers one buffer on the calling thread to the running queue; false when none runs.
    bool push(std::span<const std::uint8_t> bytes);

  private:
    friend class FakeAudioInputQueue;
    FakeCaptureDevice() = default;
    AudioInputQueueResult makeQueue(AudioInputQueue::InputCallback onInput,
                                    AudioInputQueue::FailureCallback onFailure);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Buffer> script_;
    std::optional<AudioQueueError> failCreate_, failStart_, failAfterScript_;
    Buffer duringStop_;
    int created_ = 0;
    FakeAudioInputQueue* running_ = nullptr;
    bool scriptDelivered_ = false;
};

}  // namespace pex
