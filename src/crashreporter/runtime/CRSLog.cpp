#include "crashreporter/runtime/CRSLog.h"

#include "beacon-core/BCNLogger.h"

namespace pex {

namespace {

void logLine(BCNLoggerLevel level, std::string_view message) {
    // The message is already formatted; it is never read as a format again.
    BCNLoggerWrapper::logWithLevel(level, kCRSLogService, kCRSLogMessageCode, message);
}

}  // namespace

void CRSErrorLog(std::string_view message) {
    logLine(BCNLoggerLevelError, message);
}
void CRSWarningLog(std::string_view message) {
    logLine(BCNLoggerLevelWarning, message);
}
void CRSInfoLog(std::string_view message) {
    logLine(BCNLoggerLevelInfo, message);
}
void CRSDebugLog(std::string_view message) {
    logLine(BCNLoggerLevelDebug, message);
}

}  // namespace pex
