#include "platform/speech/CloudRecognitionSession.h"

#include <QObject>
#include <QThread>

#include "platform/appkit/OrderedWorkReceiver.h"
#include "platform/foundation/ThreadStartHook.h"
#include "platform/speech/CloudSpeechConnection.h"
#include "platform/speech/PushAudioInputStream.h"

namespace pex {

CloudRecognitionSession::CloudRecognitionSession(std::string url, RecognitionRequest request,
                                                 std::shared_ptr<RecognitionEventSink> sink)
    : url_(std::move(url)),
      request_(std::move(request)),
      sink_(std::move(sink)),
      token_(request_.authorizationToken) {}

CloudRecognitionSession::~CloudRecognitionSession() {
    stopContinuousRecognition();
}

std::optional<SpeechError> CloudRecognitionSession::startContinuousRecognition() {
    std::lock_guard lock(lifecycleMutex_);
    if (thread_) return std::nullopt;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("speech.cloud");
    // Emitted on the new thread before its event loop: the Qt form of a product thread's start.
    QObject::connect(thread_.get(), &QThread::started, thread_.get(), &runThreadStartHook,
                     Qt::DirectConnection);
    context_ = new OrderedWorkReceiver;
    context_->moveToThread(thread_.get());
    {
        std::lock_guard mailboxLock(mailbox_->mutex);
        mailbox_->context = context_;
    }
    thread_->start();
    context_->postAndWait([this] {
        CloudSpeechConnection::Settings settings{url_,
                                                 request_.stream,
                                                 sink_,
                                                 [this] { return currentToken(); },
                                                 request_.targetLanguages,
                                                 poster()};
        connection_ = std::make_unique<CloudSpeechConnection>(std::move(settings));
        connection_->open();
    });
    // Every accepted write wakes the connection; one wake-up at a time is enough.
    request_.stream->setWriteObserver([this](std::span<const std::uint8_t>) { schedulePump(); });
    return std::nullopt;
}

void CloudRecognitionSession::stopContinuousRecognition() {
    std::lock_guard lock(lifecycleMutex_);
    if (!thread_) return;
    request_.stream->setWriteObserver(nullptr);  // no wake-up runs after this
    // The socket goes on the thread it lives on; what else that thread does from here on is
    // Qt's own.
    context_->postAndWait([this] { connection_.reset(); });
    thread_->quit();
    thread_->wait();
    {
        std::lock_guard mailboxLock(mailbox_->mutex);
        mailbox_->context = nullptr;
    }
    delete context_;
    context_ = nullptr;
    thread_.reset();
}

void CloudRecognitionSession::setAuthorizationToken(const std::string& token) {
    std::lock_guard lock(tokenMutex_);
    token_ = token;
}

std::string CloudRecognitionSession::currentToken() const {
    std::lock_guard lock(tokenMutex_);
    return token_;
}

// Clock timers may fire on another thread at any time, even while the session stops: posting
// goes through the mailbox, which forgets the context before it is deleted. Events still
// waiting when the thread ends are dropped with the context.
std::function<void(std::function<void(CloudSpeechConnection&)>)> CloudRecognitionSession::poster() {
    return [this, mailbox = mailbox_](std::function<void(CloudSpeechConnection&)> work) {
        std::lock_guard lock(mailbox->mutex);
        if (!mailbox->context) return;
        mailbox->context->post([this, work = std::move(work)] {
            if (connection_) work(*connection_);
        });
    };
}

void CloudRecognitionSession::schedulePump() {
    if (pumpScheduled_.exchange(true)) return;
    context_->post([this] {
        pumpScheduled_ = false;
        if (connection_) connection_->pump();
    });
}

}  // namespace pex
