#include "audio/PcmVoiceRecorder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/foundation/DispatchQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

// Counts frames for the level meter across every recorder, as the level is read every fourth.
std::atomic<int> gLevelFrameCounter{0};

}  // namespace

AudioCaptureFormat PcmVoiceRecorder::captureFormat() {
    AudioCaptureFormat format;
    format.sampleRate = 16000.0;
    format.channelsPerFrame = 1;
    format.bitsPerChannel = 16;
    format.bytesPerBuffer = kVoiceFrameBytes;
    return format;
}

PcmVoiceRecorder::PcmVoiceRecorder() : alive_(std::make_shared<PcmVoiceRecorder*>(this)) {}

PcmVoiceRecorder::~PcmVoiceRecorder() {
    if (state() != Stopped) stop(false);
    std::lock_guard lock(lock_);
    _disposeAudioQueue();
}

void PcmVoiceRecorder::start() {
    _start();
}

void PcmVoiceRecorder::_start() {
    std::unique_lock lock(lock_);
    if (state() == Started) {
        consoleLog("in recorder _start, state has started!");
        return;
    }
    if (auto error = _createAudioQueue()) {
        lock.unlock();
        reportFailure(std::move(error));
        return;
    }
    // The frame buffer is reset and the state set before delivery begins, so the first buffer
    // the queue hands over is kept rather than refused as arriving at a stopped recorder.
    const int previous = state_.exchange(Started);
    bufferedLength_ = 0;
    if (auto error = _startAudioQueue()) {
        state_.store(previous);
        lock.unlock();
        reportFailure(std::move(error));
        return;
    }
    lock.unlock();
    postToDelegate(
        [](PcmVoiceRecorderDelegate& delegate, PcmVoiceRecorder&) { delegate.recorderDidStart(); });
}

std::optional<AudioQueueError> PcmVoiceRecorder::_createAudioQueue() {
    if (mQueue) return std::nullopt;
    const std::uint64_t generation = ++generation_;
    AudioInputQueueResult result = AudioInputQueue::create(
        captureFormat(), [this](std::span<const std::uint8_t> bytes) { handleInputBuffer(bytes); },
        [this, generation](const AudioQueueError& error) {
            handleQueueFailure(error, generation);
        });
    if (!result.queue) {
        return result.error.value_or(AudioQueueError{-1, "the input queue could not be made"});
    }
    mQueue = std::move(result.queue);
    return std::nullopt;
}

std::optional<AudioQueueError> PcmVoiceRecorder::_startAudioQueue() {
    if (auto error = mQueue->start()) {
        consoleLog("AudioQueueStart error " + std::to_string(error->status));
        _disposeAudioQueue();
        return error;
    }
    mQueue->setMeteringEnabled(true);
    return std::nullopt;
}

void PcmVoiceRecorder::_stopAudioQueue() {
    if (mQueue) mQueue->stop();
}

void PcmVoiceRecorder::_disposeAudioQueue() {
    mQueue.reset();
}

void PcmVoiceRecorder::stop(bool notify) {
    {
        std::lock_guard lock(lock_);
        if (state() == Stopped) {
            consoleLog("in recorder stop, state has stopped!");
            return;
        }
        state_.store(Stopped);
        // Stopping waits for the capture thread, so nothing below races a callback.
        _stopAudioQueue();
        _disposeAudioQueue();
        bufferedLength_ = 0;  // a partly assembled frame is dropped
    }
    if (notify) {
        postToDelegate([](PcmVoiceRecorderDelegate& delegate, PcmVoiceRecorder&) {
            delegate.recorderDidStop();
        });
    }
}

void PcmVoiceRecorder::handleInputBuffer(std::span<const std::uint8_t> bytes) {
    if (state() != Started) {
        consoleLog("WARN: - recorder is stopped, ignoring the callback data " +
                   std::to_string(bytes.size()) + " bytes");
        return;
    }
    _bufferPCMFrame(bytes);
}

// The server hands over buffers of any size: every whole frame in them goes out, and the
// remainder waits in the assembly buffer for the next one.
void PcmVoiceRecorder::_bufferPCMFrame(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t take = std::min(kVoiceFrameBytes - bufferedLength_, bytes.size());
        std::memcpy(bufferedVoiceData.data() + bufferedLength_, bytes.data(), take);
        bufferedLength_ += take;
        bytes = bytes.subspan(take);
        if (bufferedLength_ == kVoiceFrameBytes) {
            bufferedLength_ = 0;
            _handleVoiceFrame(VoiceFrame(bufferedVoiceData));
        }
    }
}

void PcmVoiceRecorder::_handleVoiceFrame(VoiceFrame frame) {
    _updateCurrentVoiceVolume();
    if (auto* delegate = delegate_.load()) delegate->voiceRecorded(frame);
}

void PcmVoiceRecorder::_updateCurrentVoiceVolume() {
    if (!mQueue) return;
    if (gLevelFrameCounter.fetch_add(1) != 3) return;
    gLevelFrameCounter.store(0);
    if (const auto level = mQueue->currentLevel()) {
        const double volume = (static_cast<double>(level->averagePower) + 50.0) * 2.0;
        currentVoiceVolume_.store(volume > 0.0 ? static_cast<std::uint64_t>(volume) : 0);
    }
}

void PcmVoiceRecorder::handleQueueFailure(const AudioQueueError& error, std::uint64_t generation) {
    // Reported from the backend's thread; the delegate hears it on the main queue, and only
    // while the queue that failed is still this recorder's running queue.
    std::weak_ptr<PcmVoiceRecorder*> weak = alive_;
    DispatchQueue::main().async([weak, error, generation] {
        const auto alive = weak.lock();
        if (!alive) return;
        PcmVoiceRecorder& self = **alive;
        if (self.generation_.load() != generation || !self.isStarted()) return;
        if (auto* delegate = self.delegate()) delegate->voiceDidFail(error);
    });
}

void PcmVoiceRecorder::reportFailure(std::optional<AudioQueueError> error) {
    std::weak_ptr<PcmVoiceRecorder*> weak = alive_;
    DispatchQueue::main().async([weak, error = std::move(error)] {
        const auto alive = weak.lock();
        if (!alive) return;
        if (auto* delegate = (*alive)->delegate()) delegate->voiceDidFail(error);
    });
}

void PcmVoiceRecorder::postToDelegate(void (*message)(PcmVoiceRecorderDelegate&,
                                                      PcmVoiceRecorder&)) {
    // The recorder is destroyed on the main thread (or at exit), so a live token means a live
    // recorder when this runs.
    std::weak_ptr<PcmVoiceRecorder*> weak = alive_;
    DispatchQueue::main().async([weak, message] {
        const auto alive = weak.lock();
        if (!alive) return;
        if (auto* delegate = (*alive)->delegate()) message(*delegate, **alive);
    });
}

}  // namespace pex
