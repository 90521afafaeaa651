#pragma once
// One recognition session of the demo backend (see DemoSpeechBackend.h): a thread reads the
// push stream in 20 ms frames and raises the script's sentences.
#include <array>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/speech/DemoSpeechBackend.h"

namespace pex {

class DemoRecognitionSession : public RecognitionSession {
  public:
    DemoRecognitionSession(RecognitionRequest request, std::shared_ptr<RecognitionEventSink> sink,
                           DemoScript script, DemoSpeechBackend::Timing timing);
    ~DemoRecognitionSession() override;

    std::optional<SpeechError> startContinuousRecognition() override;
    void stopContinuousRecognition() override;
    void setAuthorizationToken(const std::string& token) override;

  private:
    void run(std::stop_token stop);
    void hear(bool sound);
    TranslationRecognitionResult resultFor(std::size_t shownOutOf, std::size_t of) const;
    void finishSentence();

    RecognitionRequest request_;
    std::shared_ptr<RecognitionEventSink> sink_;
    DemoScript script_;
    DemoSpeechBackend::Timing timing_;
    std::mutex mutex_;  // guards the thread handle
    std::jthread thread_;
    // Used only on the session's thread.
    std::size_t sentence_ = 0;
    int soundFrames_ = 0;
    int silentFrames_ = 0;
    bool inSentence_ = false;
};

}  // namespace pex
