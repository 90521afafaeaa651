#pragma once
// The crash reporter's ordinary log, for start-up and report-management code (never crash
// time): one line per message through the SDK logger, tagged with the reporter's service name
// and message code, filtered by the SDK's log level (errors and warnings pass by default).
#include <string_view>

namespace pex {

inline constexpr std::string_view kCRSLogService = "[BeaconCrashReporter]";
inline constexpr std::string_view kCRSLogMessageCode = "I-CRS000000";

void CRSErrorLog(std::string_view message);
void CRSWarningLog(std::string_view message);
void CRSInfoLog(std::string_view message);
void CRSDebugLog(std::string_view message);

}  // namespace pex
