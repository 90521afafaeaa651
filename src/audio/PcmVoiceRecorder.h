#pragma once
// Records the default input device as 16 kHz mono 16-bit PCM and hands it out in frames of
// exactly 640 bytes. It never picks a device: whatever the default input is gets recorded.
//
// Threads: `start` and `stop` may come from any thread but not from the delegate's
// `voiceRecorded` (stop waits for the capture thread). Frames are assembled and handed out on
// the capture thread; start, stop and failure messages arrive on the main queue.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "audio/PcmVoiceRecorderDelegate.h"
#include "platform/audiotoolbox/AudioCaptureFormat.h"
#include "platform/audiotoolbox/AudioInputQueue.h"

namespace pex {

class PcmVoiceRecorder {
  public:
    enum State : int { NeverStarted = 0, Started = 1, Stopped = 2 };

    PcmVoiceRecorder();
    ~PcmVoiceRecorder();  // stops without telling the delegate
    PcmVoiceRecorder(const PcmVoiceRecorder&) = delete;
    PcmVoiceRecorder& operator=(const PcmVoiceRecorder&) = delete;

    void start();
    // `notify`: whether the delegate hears `recorderDidStop`.
    void stop(bool notify);
    bool isStarted() const { return state() == Started; }
    int state() const { return state_.load(); }

    // Not owned; set before `start` by an owner that outlives the recorder's capture.
    void setDelegate(PcmVoiceRecorderDelegate* delegate) { delegate_.store(delegate); }
    PcmVoiceRecorderDelegate* delegate() const { return delegate_.load(); }

    // Input level, updated every fourth frame: (average dBFS + 50) × 2, and 0 below -50 dBFS.
    std::uint64_t currentVoiceVolume() const { return currentVoiceVolume_.load(); }

    static AudioCaptureFormat captureFormat();

  private:
    void _start();
    std::optional<AudioQueueError> _createAudioQueue();
    std::optional<AudioQueueError> _startAudioQueue();
    void _stopAudioQueue();
    void _disposeAudioQueue();
    void _bufferPCMFrame(std::span<const std::uint8_t> bytes);
    void _handleVoiceFrame(VoiceFrame frame);
    void _updateCurrentVoiceVolume();

    void handleInputBuffer(std::span<const std::uint8_t> bytes);  // on the capture thread
    void handleQueueFailure(const AudioQueueError& error, std::uint64_t generation);
    void postToDelegate(void (*message)(PcmVoiceRecorderDelegate&, PcmVoiceRecorder&));
    void reportFailure(std::optional<AudioQueueError> error);

    std::mutex lock_;  // serialises start, stop and queue creation
    std::unique_ptr<AudioInputQueue> mQueue;
    std::atomic<int> state_{NeverStarted};
    std::atomic<PcmVoiceRecorderDelegate*> delegate_{nullptr};
    std::atomic<std::uint64_t> currentVoiceVolume_{0};
    // The frame being assembled; touched only by the capture thread while it runs.
    std::array<std::uint8_t, kVoiceFrameBytes> bufferedVoiceData{};
    std::size_t bufferedLength_ = 0;
    // Tells a queue's late failure report apart from the current queue's.
    std::atomic<std::uint64_t> generation_{0};
    // Main-queue work checks this before touching a recorder that may be gone.
    std::shared_ptr<PcmVoiceRecorder*> alive_;
};

}  // namespace pex
