#pragma once
// The crash-time log: "sdk.log" in the current report's directory, written with nothing but
// `write` so it works inside a signal handler and with other threads suspended.
//
// Messages are printf-like but formatted by hand: %d, %u, %x (32-bit), %ld/%lld (signed
// 64-bit), %lu/%llu, %lx/%llx (unsigned 64-bit), %p ("0x" and hex), %s ("(null)" for none).
// Any other conversion is written as it stands and takes no argument ("%i" prints "%i").

namespace pex {

enum CRSSDKLogLevel : int {
    CRSSDKLogLevelDebug = 1,
    CRSSDKLogLevelInfo = 2,
    CRSSDKLogLevelWarn = 3,
    CRSSDKLogLevelError = 4,
};

// How long a message waits for another thread's opening of the log before it is dropped.
inline constexpr long kCRSSDKLogOpenWaitNanoseconds = 1'000'000'000;

// Writes one message when the crash context exists and `level` is at least its
// internalLogLevel. The log is opened on first use; a message that cannot be written is lost.
void CRSSDKFileLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Replaces `kCRSSDKLogOpenWaitNanoseconds` (tests give 0).
void CRSSDKFileLogSetOpenWait(long nanoseconds);

}  // namespace pex

// Each message starts with its level word and the logging function and line.
#define CRSSDKLogDebug(format, ...)                                                     \
    ::pex::CRSSDKFileLog(::pex::CRSSDKLogLevelDebug, "DEBUG [%s:%d] " format, __func__, \
                         __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CRSSDKLogInfo(format, ...)                                                     \
    ::pex::CRSSDKFileLog(::pex::CRSSDKLogLevelInfo, "INFO  [%s:%d] " format, __func__, \
                         __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CRSSDKLogWarn(format, ...)                                                     \
    ::pex::CRSSDKFileLog(::pex::CRSSDKLogLevelWarn, "WARN  [%s:%d] " format, __func__, \
                         __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define CRSSDKLogError(format, ...)                                                     \
    ::pex::CRSSDKFileLog(::pex::CRSSDKLogLevelError, "ERROR [%s:%d] " format, __func__, \
                         __LINE__ __VA_OPT__(, ) __VA_ARGS__)
