#pragma once
// A short sound that recognition hears as speech: phrases of syllable-like bursts (voiced tones
// with a few harmonics, rising and falling in loudness) with pauses between them, so that each
// phrase ends in silence. The demo plays it in a loop; the end-to-end test plays it once.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace pex::demo {

struct SpeechLikeSample {
    static constexpr int kSampleRate = 16000;
    static constexpr int kPhrases = 2;
    static constexpr double kPhraseSeconds = 1.2;
    static constexpr double kPauseSeconds = 0.8;

    // Mono 16-bit samples at kSampleRate: kPhrases × (phrase, pause).
    static std::vector<std::int16_t> samples();
    static double seconds() { return kPhrases * (kPhraseSeconds + kPauseSeconds); }
    // Writes the sample `repeats` times over as a 16-bit PCM WAV file; false when it cannot be
    // written.
    static bool writeWav(const std::filesystem::path& file, int repeats = 1);
};

}  // namespace pex::demo
