#pragma once
// The crash reporter's ordinary log, for start-up and report-management code (never crash
// time): the SDK's log, tagged with the reporter's service name and message code. Lines are
// emitted asynchronously; a process about to exit calls UTLLogFlush first.
#include <string_view>

namespace pex {

inline constexpr std::string_view kCRSLogService = "[BeaconCrashReporter]";
inline constexpr std::string_view kCRSLogMessageCode = "I-CRS000000";

void CRSErrorLog(std::string_view message);
void CRSWarningLog(std::string_view message);
void CRSInfoLog(std::string_view message);
void CRSDebugLog(std::string_view message);

}  // namespace pex
