#include "platform/speech/FakeSpeechBackend.h"

#include "platform/speech/PushAudioInputStream.h"

namespace pex {

namespace {

// The recogniser's handle on a fake session; the test keeps the session itself.
class FakeSessionHandle : public RecognitionSession {
  public:
    explicit FakeSessionHandle(std::shared_ptr<FakeRecognitionSession> session)
        : session_(std::move(session)) {}
    ~FakeSessionHandle() override { session_->stop(); }
    std::optional<SpeechError> startContinuousRecognition() override { return session_->start(); }
    void stopContinuousRecognition() override { session_->stop(); }
    void setAuthorizationToken(const std::string& token) override {
        session_->setAuthorizationToken(token);
    }

  private:
    std::shared_ptr<FakeRecognitionSession> session_;
};

}  // namespace

FakeRecognitionSession::FakeRecognitionSession(RecognitionRequest request,
                                               std::shared_ptr<RecognitionEventSink> sink,
                                               std::optional<SpeechError> failStart)
    : request_(std::move(request)), sink_(std::move(sink)), failStart_(std::move(failStart)) {}

bool FakeRecognitionSession::isStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool FakeRecognitionSession::isStopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

bool FakeRecognitionSession::isStreamClosed() const {
    return request_.stream && request_.stream->isClosed();
}

std::vector<std::string> FakeRecognitionSession::tokenUpdates() const {
    std::lock_guard lock(mutex_);
    return tokens_;
}

std::vector<std::size_t> FakeRecognitionSession::writeSizes() const {
    std::lock_guard lock(mutex_);
    return sizes_;
}

std::set<std::thread::id> FakeRecognitionSession::writerThreads() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

std::uint64_t FakeRecognitionSession::bytesWritten() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

bool FakeRecognitionSession::waitForBytes(std::uint64_t bytes,
                                          std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return written_.wait_for(lock, timeout, [&] { return bytes_ >= bytes; });
}

void FakeRecognitionSession::raiseRecognizing(TranslationRecognitionResult result) {
    sink_->raiseRecognizing(std::move(result));
}

void FakeRecognitionSession::raiseRecognized(TranslationRecognitionResult result) {
    sink_->raiseRecognized(std::move(result));
}

void FakeRecognitionSession::raiseCanceled(std::optional<std::string> errorDetails) {
    sink_->raiseCanceled(std::move(errorDetails));
}

void FakeRecognitionSession::raiseAfterBytes(std::uint64_t bytes,
                                             std::function<void(FakeRecognitionSession&)> raise) {
    std::lock_guard lock(mutex_);
    scripted_.push_back({bytes, std::move(raise)});
}

std::optional<SpeechError> FakeRecognitionSession::start() {
    {
        std::lock_guard lock(mutex_);
        if (failStart_) return failStart_;
        started_ = true;
    }
    // Outside our lock: a write holds the stream's lock while it reports to us.
    if (request_.stream) {
        request_.stream->setWriteObserver(
            [this](std::span<const std::uint8_t> bytes) { recordWrite(bytes.size()); });
    }
    return std::nullopt;
}

void FakeRecognitionSession::stop() {
    if (request_.stream) request_.stream->setWriteObserver(nullptr);
    std::lock_guard lock(mutex_);
    if (started_) stopped_ = true;
}

void FakeRecognitionSession::setAuthorizationToken(const std::string& token) {
    std::lock_guard lock(mutex_);
    tokens_.push_back(token);
}

void FakeRecognitionSession::recordWrite(std::size_t size) {
    std::vector<std::function<void(FakeRecognitionSession&)>> due;
    {
        std::lock_guard lock(mutex_);
        sizes_.push_back(size);
        threads_.insert(std::this_thread::get_id());
        bytes_ += size;
        for (auto it = scripted_.begin(); it != scripted_.end();) {
            if (bytes_ >= it->bytes) {
                due.push_back(std::move(it->raise));
                it = scripted_.erase(it);
            } else {
                ++it;
            }
        }
    }
    written_.notify_all();
    for (auto& raise : due) raise(*this);
}

std::shared_ptr<FakeSpeechBackend> FakeSpeechBackend::install() {
    auto backend = std::make_shared<FakeSpeechBackend>();
    SpeechBackend::setCurrent(backend);
    return backend;
}

void FakeSpeechBackend::failConfiguration(std::optional<SpeechError> error) {
    std::lock_guard lock(mutex_);
    failConfiguration_ = std::move(error);
}

void FakeSpeechBackend::failCreation(std::optional<SpeechError> error) {
    std::lock_guard lock(mutex_);
    failCreation_ = std::move(error);
}

void FakeSpeechBackend::failStart(std::optional<SpeechError> error) {
    std::lock_guard lock(mutex_);
    failStart_ = std::move(error);
}

std::vector<FakeSpeechBackend::ConfigurationCall> FakeSpeechBackend::configurations() const {
    std::lock_guard lock(mutex_);
    return configurations_;
}

std::vector<std::shared_ptr<FakeRecognitionSession>> FakeSpeechBackend::sessions() const {
    std::lock_guard lock(mutex_);
    return sessions_;
}

std::shared_ptr<FakeRecognitionSession> FakeSpeechBackend::lastSession() const {
    std::lock_guard lock(mutex_);
    return sessions_.empty() ? nullptr : sessions_.back();
}

std::optional<SpeechError> FakeSpeechBackend::checkConfiguration(const std::string& token,
                                                                 const std::string& region) {
    std::lock_guard lock(mutex_);
    configurations_.push_back({token, region});
    return failConfiguration_;
}

SpeechBackend::SessionResult FakeSpeechBackend::makeSession(
    const RecognitionRequest& request, std::shared_ptr<RecognitionEventSink> sink) {
    std::lock_guard lock(mutex_);
    if (failCreation_) return {nullptr, failCreation_};
    auto session = std::make_shared<FakeRecognitionSession>(request, std::move(sink), failStart_);
    sessions_.push_back(session);
    return {std::make_unique<FakeSessionHandle>(session), std::nullopt};
}

}  // namespace pex
