#include "crashreporter/runtime/CRSLog.h"

#include "beacon-core/BCNLogger.h"

namespace pex {

// The SDK's logger filters by level and adds the version, service and code to each line.
void CRSErrorLog(std::string_view message) {
    BCNLogError(kCRSLogService, kCRSLogMessageCode, "%@", message);
}
void CRSWarningLog(std::string_view message) {
    BCNLogWarning(kCRSLogService, kCRSLogMessageCode, "%@", message);
}
void CRSInfoLog(std::string_view message) {
    BCNLogInfo(kCRSLogService, kCRSLogMessageCode, "%@", message);
}
void CRSDebugLog(std::string_view message) {
    BCNLogDebug(kCRSLogService, kCRSLogMessageCode, "%@", message);
}

}  // namespace pex
