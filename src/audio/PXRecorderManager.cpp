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

// A handler as the capture and main threads read it; an empty one is stored as none.
template <typename Handler>
std::shared_ptr<const Handler> sharedOrNone(Handler handler) {
    return handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr;
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
    std::lock_guard lock(ownerMutex_);
    audioDataSubject_.store(sharedOrNone(std::move(subject)));
}

void PXRecorderManager::setOnCaptureFailed(CaptureFailureHandler handler) {
    std::lock_guard lock(ownerMutex_);
    onCaptureFailed_.store(sharedOrNone(std::move(handler)));
}

std::shared_ptr<AudioFile> PXRecorderManager::audioFile() const {
    const std::shared_ptr<Sink> sink = sink_.load();
    return sink ? sink->file : nullptr;
}

std::optional<std::filesystem::path> PXRecorderManager::outputFileURL() const {
    std::lock_guard lock(ownerMutex_);
    return outputFileURL_;
}

PXRecorderManager::Recording PXRecorderManager::start(const std::string& fileName) {
    std::lock_guard lock(ownerMutex_);
    return startLocked(fileName);
}

PXRecorderManager::Recording PXRecorderManager::start(const std::string& fileName,
                                                      AudioDataSubject subject,
                                                      CaptureFailureHandler onCaptureFailed,
                                                      WriteFailureHandler onWriteFailed) {
    std::lock_guard lock(ownerMutex_);
    audioDataSubject_.store(sharedOrNone(std::move(subject)));
    onCaptureFailed_.store(sharedOrNone(std::move(onCaptureFailed)));
    onWriteFailed_.store(sharedOrNone(std::move(onWriteFailed)));
    return startLocked(fileName);
}

PXRecorderManager::Recording PXRecorderManager::startLocked(const std::string& fileName) {
    outputFileURL_ = StandardFolders::documents() / fileName;
    AudioFile::OpenResult opened =
        isPlainFileName(fileName)
            ? AudioFile::openForWriting(*outputFileURL_, audioFormat_)
            : AudioFile::OpenResult{nullptr,
                                    AudioFileError{EINVAL, "不是有效的文件名: " + fileName}};
    std::shared_ptr<const WriteFailureHandler> onWriteFailed = onWriteFailed_.load();
    if (opened.file) {
        sink_.store(std::shared_ptr<Sink>(new Sink{opened.file, std::move(onWriteFailed)}));
        consoleLog("文件写入开始：" + opened.file->url().string());
    } else {
        // Recording goes on for recognition, but without a file: never into an earlier one.
        sink_.store(nullptr);
        const std::string description =
            opened.error.value_or(AudioFileError{}).localizedDescription;
        consoleLog("文件创建失败：" + description);
        reportWriteFailure(onWriteFailed, description);
    }
    current_ = ++lastIssued_;
    recorder_.start();
    return current_;
}

void PXRecorderManager::stop() {
    std::unique_lock lock(ownerMutex_);
    stopLocked(lock);
}

bool PXRecorderManager::stop(Recording recording) {
    std::unique_lock lock(ownerMutex_);
    if (recording == 0 || recording != current_) return false;
    audioDataSubject_.store(nullptr);
    onCaptureFailed_.store(nullptr);
    onWriteFailed_.store(nullptr);
    stopLocked(lock);
    return true;
}

void PXRecorderManager::stopLocked(std::unique_lock<std::mutex>& lock) {
    recorder_.stop(true);  // returns once the capture thread is done: no frame comes after
    stops_.fetch_add(1);   // what is still queued for the file is dropped
    std::shared_ptr<Sink> sink = sink_.exchange(nullptr);
    const std::optional<std::filesystem::path> url = outputFileURL_;
    current_ = 0;
    reportDroppedFrames();
    lock.unlock();
    // Only a write in progress is waited for, outside the lock so that a stalled disk cannot
    // hold up the next session's start; the file closes when no write holds it any longer.
    writeQueue_.sync([] {});
    sink.reset();
    if (url) consoleLog("录音结束，文件保存：" + url->string());
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
    if (const auto listener = onCaptureFailed_.load()) (*listener)(description);
}

void PXRecorderManager::voiceRecorded(VoiceFrame frame) {
    if (const auto subject = audioDataSubject_.load()) (*subject)(frame);

    // The write is bound to the file this frame was captured for; a later `start` with another
    // name cannot pull it into the next session's file.
    std::shared_ptr<Sink> sink = sink_.load();
    if (!sink) return;
    if (queuedWrites_.load() >= kMaxQueuedWrites) {
        droppedRun_.fetch_add(1);
        droppedTotal_.fetch_add(1);
        return;
    }
    if (droppedRun_.load() != 0) reportDroppedFrames();
    queuedWrites_.fetch_add(1);
    VoiceFramePool::Frame* copy = framePool_.acquire();
    std::copy(frame.begin(), frame.end(), copy->begin());
    writeQueue_.async([this, sink = std::move(sink), copy, stopsSeen = stops_.load()] {
        if (stops_.load() == stopsSeen) writeFrame(*sink, *copy);
        framePool_.release(copy);
        queuedWrites_.fetch_sub(1);
    });
}

void PXRecorderManager::reportDroppedFrames() {
    const std::uint64_t dropped = droppedRun_.exchange(0);
    if (dropped == 0) return;
    const std::uint64_t milliseconds = dropped * kVoiceFrameBytes / 32;  // 32 bytes per ms
    consoleLog("⚠️ 录音文件写入跟不上，已丢弃 " + std::to_string(dropped) +
               " 帧（" + std::to_string(milliseconds) + " 毫秒）");
}

void PXRecorderManager::writeFrame(Sink& sink, const VoiceFramePool::Frame& frame) {
    constexpr std::size_t kSamples = kVoiceFrameBytes / 2;
    float samples[kSamples];
    for (std::size_t i = 0; i < kSamples; ++i) {
        const auto sample = static_cast<std::int16_t>(frame[2 * i] | (frame[2 * i + 1] << 8));
        // -32768 would be just below -1 after scaling; float files are meant to stay in range.
        samples[i] = std::clamp(static_cast<float>(sample / 32767.0), -1.0f, 1.0f);
    }
    const std::optional<AudioFileError> error = sink.file->write(samples);
    // A full disk fails every frame from here on: one line and one report, the rest counted.
    if (!error || sink.failedWrites++ != 0) return;
    consoleLog("写文件失败: " + error->localizedDescription);
    reportWriteFailure(sink.onWriteFailed, error->localizedDescription);
}

void PXRecorderManager::reportWriteFailure(
    const std::shared_ptr<const WriteFailureHandler>& handler, std::string description) {
    if (!handler) return;
    // Always from the write queue, and never under the manager's lock.
    if (writeQueue_.isCurrent()) {
        (*handler)(description);
    } else {
        writeQueue_.async(
            [handler, description = std::move(description)] { (*handler)(description); });
    }
}

PXRecorderManager::Sink::~Sink() {
    if (failedWrites > 0 && file) {
        consoleLog("写文件失败共 " + std::to_string(failedWrites) + " 帧：" + file->url().string());
    }
}

}  // namespace pex
