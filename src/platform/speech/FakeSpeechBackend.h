#pragma once
// An in-memory speech backend for tests. It records what recognition was asked for (the
// configurations checked, each session's request, token updates, start and stop, and every
// write to the push stream with its size and thread) and can fail at configuration, at
// recogniser creation or at start. Tests raise events on a session from any thread, at once or
// when a number of audio bytes has been written.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/speech/SpeechBackend.h"

namespace pex {

class FakeRecognitionSession {
  public:
    FakeRecognitionSession(RecognitionRequest request, std::shared_ptr<RecognitionEventSink> sink,
                           std::optional<SpeechError> failStart);

    const RecognitionRequest& request() const { return request_; }
    bool isStarted() const;
    bool isStopped() const;
    bool isStreamClosed() const;
    std::vector<std::string> tokenUpdates() const;
    std::vector<std::size_t> writeSizes() const;
    std::set<std::thread::id> writerThreads() const;
    std::uint64_t bytesWritten() const;
    bool waitForBytes(std::uint64_t bytes,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    void raiseRecognizing(TranslationRecognitionResult result);
    void raiseRecognized(TranslationRecognitionResult result);
    void raiseCanceled(std::optional<std::string> errorDetails);
    // Runs `raise` (on the writing thread) once `bytes` bytes of audio have been written.
    void raiseAfterBytes(std::uint64_t bytes, std::function<void(FakeRecognitionSession&)> raise);

    // Called by the recogniser's session handle.
    std::optional<SpeechError> start();
    void stop();
    void setAuthorizationToken(const std::string& token);

  private:
    void recordWrite(std::size_t size);

    RecognitionRequest request_;
    std::shared_ptr<RecognitionEventSink> sink_;
    std::optional<SpeechError> failStart_;
    mutable std::mutex mutex_;
    mutable std::condition_variable written_;
    bool started_ = false;
    bool stopped_ = false;
    std::vector<std::string> tokens_;
    std::vector<std::size_t> sizes_;
    std::set<std::thread::id> threads_;
    std::uint64_t bytes_ = 0;
    struct Scripted {
        std::uint64_t bytes;
        std::function<void(FakeRecognitionSession&)> raise;
    };
    std::vector<Scripted> scripted_;
};

class FakeSpeechBackend : public SpeechBackend {
  public:
    struct ConfigurationCall {
        std::string token;
        std::string region;
    };

    // A new fake made the process's backend (until SpeechBackend::setCurrent(nullptr)).
    static std::shared_ptr<FakeSpeechBackend> install();

    void failConfiguration(std::optional<SpeechError> error);
    void failCreation(std::optional<SpeechError> error);
    void failStart(std::optional<SpeechError> error);

    std::vector<ConfigurationCall> configurations() const;
    std::vector<std::shared_ptr<FakeRecognitionSession>> sessions() const;
    std::shared_ptr<FakeRecognitionSession> lastSession() const;

    std::optional<SpeechError> checkConfiguration(const std::string& token,
                                                  const std::string& region) override;
    SessionResult makeSession(const RecognitionRequest& request,
                              std::shared_ptr<RecognitionEventSink> sink) override;

  private:
    mutable std::mutex mutex_;
    std::optional<SpeechError> failConfiguration_, failCreation_, failStart_;
    std::vector<ConfigurationCall> configurations_;
    std::vector<std::shared_ptr<FakeRecognitionSession>> sessions_;
};

}  // namespace pex
