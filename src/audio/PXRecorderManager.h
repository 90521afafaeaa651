#pragma once
// The one recording service: owns the recorder, passes every frame at once to the frame handler
// (`audioDataSubject`) and writes a 32-bit float copy to the session's recording file in the
// Documents folder, on the serial queue "audio.write.queue".
//
// `start` and `stop` come from the main thread (or one owning thread); `stop` returns once the
// recorder has stopped and every frame captured for the file is in it, and the file is closed.
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "audio/PcmVoiceRecorder.h"
#include "audio/VoiceFramePool.h"
#include "platform/avfoundation/AudioFile.h"
#include "platform/avfoundation/AudioFormat.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class PXRecorderManager final : public PcmVoiceRecorderDelegate {
  public:
    using AudioDataSubject = std::function<void(std::span<const std::uint8_t> frame)>;

    static PXRecorderManager& shared();

    PXRecorderManager();  // the application uses `shared`; tests and benches make their own
    ~PXRecorderManager() override;
    PXRecorderManager(const PXRecorderManager&) = delete;
    PXRecorderManager& operator=(const PXRecorderManager&) = delete;

    PcmVoiceRecorder& recorder() { return recorder_; }
    std::shared_ptr<AudioFile> audioFile() const { return audioFile_.load(); }
    const DispatchQueue& writeQueue() const { return writeQueue_; }
    // Called on the capture thread with each frame; nullptr clears it. Once this returns, the
    // old handler is not called again for frames that arrive later.
    void setAudioDataSubject(AudioDataSubject subject);
    bool hasAudioDataSubject() const { return audioDataSubject_.load() != nullptr; }
    std::optional<std::filesystem::path> outputFileURL() const { return outputFileURL_; }
    const AudioFormat& audioFormat() const { return audioFormat_; }

    // Told, on the main thread, when capture could not start or died while recording (after
    // the failure is logged); the session that owns the recording ends on it. Main thread only.
    std::function<void(const std::string& description)> onCaptureFailed;

    // Opens Documents/<fileName> (the name is taken as a plain file name) and starts recording.
    void start(const std::string& fileName);
    void stop();

    void recorderDidStart() override;
    void recorderDidStop() override;
    void voiceRecorded(VoiceFrame frame) override;
    void voiceDidFail(const std::optional<AudioQueueError>& error) override;

  private:
    void writeFrame(const std::shared_ptr<AudioFile>& file, const VoiceFramePool::Frame& frame);

    PcmVoiceRecorder recorder_;
    std::atomic<std::shared_ptr<AudioFile>> audioFile_;
    DispatchQueue writeQueue_;
    std::atomic<std::shared_ptr<const AudioDataSubject>> audioDataSubject_;
    std::optional<std::filesystem::path> outputFileURL_;
    AudioFormat audioFormat_;
    VoiceFramePool framePool_;
};

}  // namespace pex
