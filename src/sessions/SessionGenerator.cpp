#include "sessions/SessionGenerator.h"

#include <array>
#include <cstdio>
#include <mutex>
#include <random>

namespace pex {

namespace {

std::uint64_t randomWord() {
    static std::mutex lock;
    static std::mt19937_64 engine{std::random_device{}()};
    std::lock_guard guard(lock);
    return engine();
}

}  // namespace

SessionGenerator::SessionGenerator(bool collectEvents) : collectEvents_(collectEvents) {}

bool SessionGenerator::collectEvents(double samplingRate, std::uint64_t draw) {
    const double drawn = static_cast<double>(draw) * 0x1p-53;
    return samplingRate >= drawn;
}

bool SessionGenerator::collectEvents(double samplingRate) {
    // kDrawRange + 1 is a power of two plus one, so take 54 bits and draw again past the end.
    std::uint64_t draw = 0;
    do {
        draw = randomWord() >> 10;
    } while (draw > kDrawRange);
    return collectEvents(samplingRate, draw);
}

std::string SessionGenerator::makeSessionId() {
    std::array<unsigned char, 16> bytes{};
    const std::uint64_t high = randomWord();
    const std::uint64_t low = randomWord();
    for (int i = 0; i < 8; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(high >> (8 * i));
        bytes[static_cast<std::size_t>(8 + i)] = static_cast<unsigned char>(low >> (8 * i));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
    std::string text;
    text.reserve(32);
    char pair[3];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

SessionInfo SessionGenerator::generateNewSession() {
    const std::string id = makeSessionId();
    if (firstSessionId_.empty()) firstSessionId_ = id;
    ++sessionIndex_;
    thisSession_ = SessionInfo{id, firstSessionId_, collectEvents_, sessionIndex_};
    return *thisSession_;
}

}  // namespace pex
