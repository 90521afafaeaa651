#pragma once
// Every line of the sessions component carries one service tag and one code.
#include <string_view>

#include "beacon-core/BCNLogger.h"

namespace pex {

inline constexpr const char* kSessionsLogService = "[BeaconSessions]";
inline constexpr const char* kSessionsLogCode = "I-SES000000";

inline void sessionsLog(BCNLoggerLevel level, std::string_view message) {
    BCNLoggerWrapper::logWithLevel(level, kSessionsLogService, kSessionsLogCode, message);
}

}  // namespace pex
