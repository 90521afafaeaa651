#pragma once
// One application session as the generator made it.
#include <cstdint>
#include <string>

namespace pex {

struct SessionInfo {
    std::string sessionId;
    std::string firstSessionId;  // the first session of this process
    bool shouldDispatchEvents = true;
    std::int32_t sessionIndex = 0;  // 0 for the first session of the process

    bool operator==(const SessionInfo&) const = default;
};

}  // namespace pex
