#include "crashreporter/runtime/CRSLog.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "crashreporter/runtime/CRSPlatform.h"

namespace pex {

namespace {

void printLine(std::string_view message) {
    std::string line;
    line.append(kCRSSDKVersion).append(" - ").append(kCRSLogService);
    line.append("[").append(kCRSLogMessageCode).append("] ").append(message).append("\n");
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

void CRSErrorLog(std::string_view message) {
    printLine(message);
}
void CRSWarningLog(std::string_view message) {
    printLine(message);
}
void CRSInfoLog(std::string_view) {}
void CRSDebugLog(std::string_view) {}

}  // namespace pex
