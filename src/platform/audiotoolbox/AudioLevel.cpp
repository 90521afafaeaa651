#include "platform/audiotoolbox/AudioLevel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pex {

namespace {

float toDecibels(double powerRatio) {
    if (powerRatio <= 0.0) return AudioLevel::kSilenceDecibels;
    return std::max(AudioLevel::kSilenceDecibels,
                    static_cast<float>(10.0 * std::log10(powerRatio)));
}

}  // namespace

AudioLevel AudioLevel::measure(std::span<const std::uint8_t> pcm16) {
    const std::size_t count = pcm16.size() / 2;
    if (count == 0) return {};
    constexpr double kFullScale = 32768.0;
    double sumOfSquares = 0.0;
    int peak = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto sample = static_cast<std::int16_t>(pcm16[2 * i] | (pcm16[2 * i + 1] << 8));
        const double normalised = sample / kFullScale;
        sumOfSquares += normalised * normalised;
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    const double peakRatio = peak / kFullScale;
    return AudioLevel{toDecibels(sumOfSquares / static_cast<double>(count)),
                      toDecibels(peakRatio * peakRatio)};
}

}  // namespace pex
