#pragma once
// A speech backend that needs no network: every span of sound in the pushed audio (frames whose
// level is above a threshold) becomes the next sentence of a script. While the sound lasts the
// sentence grows as partial results; a short silence, or the end of the audio, makes it final,
// with the script's translations for the target languages it knows.
#include <memory>

#include "platform/speech/DemoScript.h"
#include "platform/speech/SpeechBackend.h"

namespace pex {

class DemoSpeechBackend : public SpeechBackend {
  public:
    struct Timing {
        float soundThresholdDecibels = -40.0f;  // average frame level that counts as sound
        int framesPerPartial = 5;               // a partial result every 100 ms of sound
        int framesForFullSentence = 40;         // the whole sentence shows after 800 ms of sound
        int silentFramesToFinish = 15;          // 300 ms of silence ends the sentence
    };

    DemoSpeechBackend();  // the interview script, default timing
    DemoSpeechBackend(DemoScript script, Timing timing);

    std::optional<SpeechError> checkConfiguration(const std::string& token,
                                                  const std::string& region) override;
    SessionResult makeSession(const RecognitionRequest& request,
                              std::shared_ptr<RecognitionEventSink> sink) override;

  private:
    DemoScript script_;
    Timing timing_;
};

}  // namespace pex
