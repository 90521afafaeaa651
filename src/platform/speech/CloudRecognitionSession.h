#pragma once
// One recognition session of the cloud backend. The session owns a thread with its own event
// loop on which its connection to the service lives; the calls below may come from any thread
// except that one. Writes to the push stream only wake the thread (they never wait for it), so
// a slow or stalled connection leaves the capture thread alone: the stream's bounded buffer
// fills and drops instead.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/speech/SpeechBackend.h"

class QObject;
class QThread;

namespace pex {

class CloudSpeechConnection;
class OrderedWorkReceiver;

class CloudRecognitionSession : public RecognitionSession {
  public:
    CloudRecognitionSession(std::string url, RecognitionRequest request,
                            std::shared_ptr<RecognitionEventSink> sink);
    ~CloudRecognitionSession() override;

    std::optional<SpeechError> startContinuousRecognition() override;
    void stopContinuousRecognition() override;
    // Takes effect at the next connection: the service is told the token when connecting.
    void setAuthorizationToken(const std::string& token) override;

  private:
    std::string currentToken() const;
    void schedulePump();
    std::function<void(std::function<void(CloudSpeechConnection&)>)> poster();

    struct Mailbox {
        std::mutex mutex;
        OrderedWorkReceiver* context = nullptr;
    };

    const std::string url_;
    const RecognitionRequest request_;
    const std::shared_ptr<RecognitionEventSink> sink_;
    mutable std::mutex tokenMutex_;
    std::string token_;
    std::mutex lifecycleMutex_;  // start and stop
    std::unique_ptr<QThread> thread_;
    OrderedWorkReceiver* context_ = nullptr;             // lives on thread_; owns nothing
    std::unique_ptr<CloudSpeechConnection> connection_;  // touched on thread_ only
    std::atomic<bool> pumpScheduled_{false};
    std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
};

}  // namespace pex
