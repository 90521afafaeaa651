#pragma once
// Makes session identifiers and carries the process's one sampling decision.
#include <cstdint>
#include <optional>
#include <string>

#include "sessions/SessionInfo.h"

namespace pex {

class SessionGenerator {
  public:
    // 2^53: the draw is an integer from 0 to this, inclusive.
    static constexpr std::uint64_t kDrawRange = std::uint64_t{1} << 53;

    explicit SessionGenerator(bool collectEvents);

    // Whether a process with this sampling rate sends events, for a draw from 0 to
    // kDrawRange: rate >= draw / 2^53.
    static bool collectEvents(double samplingRate, std::uint64_t draw);
    // The same with a fresh random draw.
    static bool collectEvents(double samplingRate);
    // 32 lower-case hexadecimal characters of a random UUID.
    static std::string makeSessionId();

    SessionInfo generateNewSession();
    const std::optional<SessionInfo>& currentSession() const { return thisSession_; }

  private:
    std::optional<SessionInfo> thisSession_;
    std::string firstSessionId_;
    std::int32_t sessionIndex_ = -1;
    bool collectEvents_;
};

}  // namespace pex
