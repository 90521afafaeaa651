#include "SpeechLikeSample.h"

#include <cmath>
#include <fstream>
#include <numbers>

namespace pex::demo {

namespace {

constexpr double kSyllableSeconds = 0.2;
constexpr double kPeak = 0.5;  // of full scale: well above the recognisers' silence level

void appendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::vector<std::int16_t> SpeechLikeSample::samples() {
    const auto phraseLength = static_cast<std::size_t>(kPhraseSeconds * kSampleRate);
    const auto pauseLength = static_cast<std::size_t>(kPauseSeconds * kSampleRate);
    const auto syllableLength = static_cast<std::size_t>(kSyllableSeconds * kSampleRate);
    std::vector<std::int16_t> out;
    out.reserve(kPhrases * (phraseLength + pauseLength));
    for (int phrase = 0; phrase < kPhrases; ++phrase) {
        for (std::size_t i = 0; i < phraseLength; ++i) {
            const std::size_t syllable = i / syllableLength;
            const double within = static_cast<double>(i % syllableLength) / syllableLength;
            // Each syllable has its own pitch and a loudness that swells and fades.
            const double pitch = 120.0 + 25.0 * static_cast<double>((syllable + phrase) % 4);
            const double envelope = std::sin(std::numbers::pi * within);
            const double t = static_cast<double>(i) / kSampleRate;
            double voice = 0;
            for (int harmonic = 1; harmonic <= 4; ++harmonic) {
                voice += std::sin(2 * std::numbers::pi * pitch * harmonic * t) / harmonic;
            }
            out.push_back(static_cast<std::int16_t>(kPeak * 32767 * envelope * voice / 2.1));
        }
        out.insert(out.end(), pauseLength, 0);
    }
    return out;
}

bool SpeechLikeSample::writeWav(const std::filesystem::path& file, int repeats) {
    const std::vector<std::int16_t> once = samples();
    std::vector<std::int16_t> pcm;
    for (int i = 0; i < repeats; ++i) pcm.insert(pcm.end(), once.begin(), once.end());
    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * sizeof(std::int16_t));
    std::string header = "RIFF";
    appendLittleEndian(header, 36 + dataBytes, 4);
    header += "WAVEfmt ";
    appendLittleEndian(header, 16, 4);               // format chunk size
    appendLittleEndian(header, 1, 2);                // integer PCM
    appendLittleEndian(header, 1, 2);                // mono
    appendLittleEndian(header, kSampleRate, 4);      // frames per second
    appendLittleEndian(header, kSampleRate * 2, 4);  // bytes per second
    appendLittleEndian(header, 2, 2);                // bytes per frame
    appendLittleEndian(header, 16, 2);               // bits per sample
    header += "data";
    appendLittleEndian(header, dataBytes, 4);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::string bytes;
    bytes.reserve(dataBytes);
    for (const std::int16_t sample : pcm) {
        appendLittleEndian(bytes, static_cast<std::uint16_t>(sample), 2);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace pex::demo
