#pragma once
// An audio input queue: records the default input device in one PCM format and hands the bytes
// to a callback on the queue's own thread. The backend is chosen process-wide (PulseAudio unless
// a test installs another), so code that records never names one.
//
// Lifetime: `create` connects to the sound system; `start` begins delivery; `stop` ends it and
// returns only once no callback is running or will run again; destruction stops first. A queue
// that dies while running (server gone, stream failed) calls the failure callback once, from a
// backend thread; it delivers nothing afterwards.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "platform/audiotoolbox/AudioCaptureFormat.h"
#include "platform/audiotoolbox/AudioLevel.h"
#include "platform/audiotoolbox/AudioQueueError.h"

namespace pex {

class AudioInputQueue;

struct AudioInputQueueResult {
    std::unique_ptr<AudioInputQueue> queue;  // set on success
    std::optional<AudioQueueError> error;    // set on failure
};

class AudioInputQueue {
  public:
    using InputCallback = std::function<void(std::span<const std::uint8_t> bytes)>;
    using FailureCallback = std::function<void(const AudioQueueError& error)>;
    using Factory = std::function<AudioInputQueueResult(const AudioCaptureFormat&, InputCallback,
                                                        FailureCallback)>;

    // A queue from the current backend, connected but not yet delivering.
    static AudioInputQueueResult create(const AudioCaptureFormat& format, InputCallback onInput,
                                        FailureCallback onFailure);
    // Installs another backend for the whole process; nullptr puts PulseAudio back.
    static void setFactory(Factory factory);

    virtual ~AudioInputQueue() = default;
    AudioInputQueue(const AudioInputQueue&) = delete;
    AudioInputQueue& operator=(const AudioInputQueue&) = delete;

    virtual std::optional<AudioQueueError> start() = 0;
    virtual void stop() = 0;

    // Level metering: once enabled, every delivered buffer updates the level before the input
    // callback sees it. `currentLevel` is none while metering is off or nothing has arrived.
    void setMeteringEnabled(bool enabled);
    std::optional<AudioLevel> currentLevel() const;

  protected:
    AudioInputQueue(InputCallback onInput, FailureCallback onFailure);
    // For backends: hand one buffer to the callback (on the backend's delivery thread).
    void deliver(std::span<const std::uint8_t> bytes);
    // For backends: report the queue's death; only the first report reaches the callback.
    void fail(const AudioQueueError& error);

  private:
    InputCallback onInput_;
    FailureCallback onFailure_;
    std::once_flag failed_;
    mutable std::mutex levelMutex_;  // held only to copy two floats
    bool metering_ = false;
    std::optional<AudioLevel> level_;
};

}  // namespace pex
