#include "audio/PXRecorderManager.h"

#include <algorithm>
#include <cerrno>

#include "platform/foundation/StandardFolders.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

// Session names are made by the application, but a name that is not a plain file name must not
// reach a path outside the Documents folder.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

PXRecorderManager& PXRecorderManager::shared() {
    static PXRecorderManager instance;
    return instance;
}

PXRecorderManager::PXRecorderManager()
    : writeQueue_(DispatchQueue::serial("audio.write.queue")),
      audioFormat_(AudioFormat{16000.0, 1}) {
    recorder_.setDelegate(this);
}

PXRecorderManager::~PXRecorderManager() {
    // The capture thread calls into this object: end it before the members go.
    if (recorder_.isStarted()) recorder_.stop(false);
    recorder_.setDelegate(nullptr);
    writeQueue_.sync([] {});
}

void PXRecorderManager::setAudioDataSubject(AudioDataSubject subject) {
    audioDataSubject_.store(subject ? std::make_shared<const AudioDataSubject>(std::move(subject))
                                    : nullptr);
}

void PXRecorderManager::start(const std::string& fileName) {
    outputFileURL_ = StandardFolders::documents() / fileName;
    AudioFile::OpenResult opened =
        isPlainFileName(fileName)
            ? AudioFile::openForWriting(*outputFileURL_, audioFormat_)
            : AudioFile::OpenResult{nullptr,
                                    AudioFileError{EINVAL, "不是有效的文件名: " + fileName}};
    if (opened.file) {
        audioFile_.store(opened.file);
        consoleLog("文件写入开始：" + opened.file->url().string());
    } else {
        // Recording goes on for recognition, but without a file: never into an earlier one.
        audioFile_.store(nullptr);
        consoleLog("文件创建失败：" + opened.error.value_or(AudioFileError{}).localizedDescription);
    }
    recorder_.start();
}

void PXRecorderManager::stop() {
    recorder_.stop(true);  // returns once the capture thread is done: no frame comes after
    std::shared_ptr<AudioFile> file = audioFile_.exchange(nullptr);
    // Every frame already queued is written before the file closes, so the end is never lost.
    writeQueue_.sync([] {});
    file.reset();
    if (outputFileURL_) consoleLog("录音结束，文件保存：" + outputFileURL_->string());
}

void PXRecorderManager::recorderDidStart() {
    consoleLog("开始采集录音");
}

void PXRecorderManager::recorderDidStop() {
    consoleLog("结束采集录音");
}

void PXRecorderManager::voiceDidFail(const std::optional<AudioQueueError>& error) {
    const std::string description = error ? error->localizedDescription : std::string();
    consoleLog("采集录音失败：" + description);
    // A copy: the listener may replace itself.
    if (auto listener = onCaptureFailed) listener(description);
}

void PXRecorderManager::voiceRecorded(VoiceFrame frame) {
    if (const auto subject = audioDataSubject_.load()) (*subject)(frame);

    // The write is bound to the file this frame was captured for; a later `start` with another
    // name cannot pull it into the next session's file.
    std::shared_ptr<AudioFile> file = audioFile_.load();
    if (!file) return;
    VoiceFramePool::Frame* copy = framePool_.acquire();
    std::copy(frame.begin(), frame.end(), copy->begin());
    writeQueue_.async([this, file = std::move(file), copy] {
        writeFrame(file, *copy);
        framePool_.release(copy);
    });
}

void PXRecorderManager::writeFrame(const std::shared_ptr<AudioFile>& file,
                                   const VoiceFramePool::Frame& frame) {
    constexpr std::size_t kSamples = kVoiceFrameBytes / 2;
    float samples[kSamples];
    for (std::size_t i = 0; i < kSamples; ++i) {
        const auto sample = static_cast<std::int16_t>(frame[2 * i] | (frame[2 * i + 1] << 8));
        // -32768 would be just below -1 after scaling; float files are meant to stay in range.
        samples[i] = std::clamp(static_cast<float>(sample / 32767.0), -1.0f, 1.0f);
    }
    if (auto error = file->write(samples)) consoleLog("写文件失败: " + error->localizedDescription);
}

}  // namespace pex
