#pragma once
// The one recording service: owns the recorder, passes every frame at once to the frame handler
// (`audioDataSubject`) and writes a 32-bit float copy to the session's recording file in the
// Documents folder, on the serial queue "audio.write.queue".
//
// Sessions overlap at their edges: the next session may start recording while the last one's
// stop is still on its way from a background queue. So `start` hands out a `Recording` ticket,
// and a stop given that ticket ends the recording only while no later `start` has taken over.
// Start, stop and the handler changes are serialised in the manager; they may come from any
// thread but the capture thread.
//
// The write queue holds at most `kMaxQueuedWrites` frames: while the disk stalls, newer frames
// are left out of the file (and counted in one log line), never piled up in memory. `stop`
// drops the frames still waiting, waits only for a write in progress and closes the file.
//
// A recording that cannot be written (the file cannot be made, the disk is full) is told once
// to its write-failure handler and logged once; later failed frames are only counted, and the
// count is logged when the file closes. What was written before stays in the file.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "audio/PcmVoiceRecorder.h"
#include "audio/VoiceFramePool.h"
#include "platform/avfoundation/AudioFile.h"
#include "platform/avfoundation/AudioFormat.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/SharedSlot.h"

namespace pex {

class PXRecorderManager final : public PcmVoiceRecorderDelegate {
  public:
    using AudioDataSubject = std::function<void(std::span<const std::uint8_t> frame)>;
    using CaptureFailureHandler = std::function<void(const std::string& description)>;
    // Called on the write queue, at most once per recording.
    using WriteFailureHandler = std::function<void(const std::string& description)>;
    // Names one `start`; 0 names none.
    using Recording = std::uint64_t;

    // Ten seconds of audio.
    static constexpr int kMaxQueuedWrites = 500;

    static PXRecorderManager& shared();

    PXRecorderManager();  // the application uses `shared`; tests and benches make their own
    ~PXRecorderManager() override;
    PXRecorderManager(const PXRecorderManager&) = delete;
    PXRecorderManager& operator=(const PXRecorderManager&) = delete;

    PcmVoiceRecorder& recorder() { return recorder_; }
    std::shared_ptr<AudioFile> audioFile() const;
    const DispatchQueue& writeQueue() const { return writeQueue_; }
    // Called on the capture thread with each frame; nullptr clears it. Once this returns, the
    // old handler is not called again for frames that arrive later.
    void setAudioDataSubject(AudioDataSubject subject);
    bool hasAudioDataSubject() const { return audioDataSubject_.load() != nullptr; }
    std::optional<std::filesystem::path> outputFileURL() const;
    const AudioFormat& audioFormat() const { return audioFormat_; }

    // Told, on the main thread, when capture could not start or died while recording (after
    // the failure is logged); the session that owns the recording ends on it.
    void setOnCaptureFailed(CaptureFailureHandler handler);
    bool hasCaptureFailureHandler() const { return onCaptureFailed_.load() != nullptr; }
    bool hasWriteFailureHandler() const { return onWriteFailed_.load() != nullptr; }

    // Opens Documents/<fileName> (the name is taken as a plain file name) and starts recording.
    Recording start(const std::string& fileName);
    // The same, with the recording's frame and failure handlers installed before the recorder
    // starts, so the very first frame reaches them.
    Recording start(const std::string& fileName, AudioDataSubject subject,
                    CaptureFailureHandler onCaptureFailed,
                    WriteFailureHandler onWriteFailed = nullptr);
    // Stops whatever recording runs.
    void stop();
    // Stops `recording` and clears the handlers it installed, unless a later `start` has taken
    // over: then nothing changes and the answer is false.
    bool stop(Recording recording);

    // Frames left out of the file because the write queue was full, since this manager began.
    std::uint64_t droppedFrames() const { return droppedTotal_.load(); }

    void recorderDidStart() override;
    void recorderDidStop() override;
    void voiceRecorded(VoiceFrame frame) override;
    void voiceDidFail(const std::optional<AudioQueueError>& error) override;

  private:
    // One recording's file and what its writes report to; the file closes with the last
    // reference (the manager's, or a write's still in progress), which logs the failed count.
    struct Sink {
        std::shared_ptr<AudioFile> file;
        std::shared_ptr<const WriteFailureHandler> onWriteFailed;
        std::uint64_t failedWrites = 0;  // on the write queue only
        ~Sink();
    };

    Recording startLocked(const std::string& fileName);
    void stopLocked(std::unique_lock<std::mutex>& lock);
    void writeFrame(Sink& sink, const VoiceFramePool::Frame& frame);
    void reportWriteFailure(const std::shared_ptr<const WriteFailureHandler>& handler,
                            std::string description);
    void reportDroppedFrames();

    mutable std::mutex ownerMutex_;  // serialises start, stop and the handler changes
    Recording current_ = 0;
    Recording lastIssued_ = 0;
    std::optional<std::filesystem::path> outputFileURL_;

    PcmVoiceRecorder recorder_;
    SharedSlot<Sink> sink_;
    DispatchQueue writeQueue_;
    SharedSlot<const AudioDataSubject> audioDataSubject_;
    SharedSlot<const CaptureFailureHandler> onCaptureFailed_;
    SharedSlot<const WriteFailureHandler> onWriteFailed_;
    AudioFormat audioFormat_;
    VoiceFramePool framePool_;

    // Bumped by every stop: writes queued before it are dropped.
    std::atomic<std::uint64_t> stops_{0};
    std::atomic<int> queuedWrites_{0};
    // Frames left out since the queue last had room; reported once when it has room again.
    std::atomic<std::uint64_t> droppedRun_{0};
    std::atomic<std::uint64_t> droppedTotal_{0};
};

}  // namespace pex
