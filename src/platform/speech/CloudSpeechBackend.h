#pragma once
// Recognition and translation in the cloud speech service, over its WebSocket protocol (see
// SpeechServiceMessage.h for the framing and CloudSpeechConnection.h for a session's course).
// Each session runs its socket on a thread of its own, so it needs a QCoreApplication to exist
// but never touches the application's main thread.
#include <optional>
#include <string>

#include "platform/speech/SpeechBackend.h"

namespace pex {

// Where the service listens. Each is a WebSocket URL in which "{region}" stands for the region
// of the token; wss, or plain ws on a loopback host only (the stand-in service).
struct CloudSpeechEndpoints {
    std::string recognition;
    std::string translation;

    static CloudSpeechEndpoints buildDefaults();  // the deployment settings of the build
    // The URL for a region, or none when the template is not an acceptable WebSocket URL.
    static std::optional<std::string> resolve(const std::string& endpointTemplate,
                                              const std::string& region);
};

class CloudSpeechBackend : public SpeechBackend {
  public:
    CloudSpeechBackend();  // the build's endpoints
    explicit CloudSpeechBackend(CloudSpeechEndpoints endpoints);

    // A token goes into a request header: it must be non-empty, without control characters.
    static bool isUsableToken(const std::string& token);

    std::optional<SpeechError> checkConfiguration(const std::string& authorizationToken,
                                                  const std::string& region) override;
    SessionResult makeSession(const RecognitionRequest& request,
                              std::shared_ptr<RecognitionEventSink> sink) override;

  private:
    CloudSpeechEndpoints endpoints_;
};

}  // namespace pex
