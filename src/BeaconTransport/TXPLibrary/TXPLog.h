#pragma once
// The transport's console lines and soft assertions. Lines carry "[BeaconTransport]" and a
// message code "I-TXP%06ld"; only errors (level 4 and above) are printed, so the many debug
// lines cost nothing but a comparison. An assertion is printed whatever the level and never
// stops the caller.
#include <functional>
#include <string>
#include <string_view>

namespace pex {

enum TXPLogLevel : int {
    TXPLogLevelDebug = 1,
    TXPLogLevelWarning = 3,
    TXPLogLevelError = 4,
};

// The one process-wide threshold; nothing changes it.
inline constexpr int TXPConsoleThreshold = TXPLogLevelError;

inline constexpr long TXPMessageCodeTransformerNotImplemented = 1000;
inline constexpr long TXPMessageCodeMetricsEncoding = 1005;
inline constexpr long TXPMessageCodeUploadFailure = 1006;
inline constexpr long TXPMessageCodeAssertion = 1006;
inline constexpr long TXPMessageCodeFatalAssertion = 1007;

// "I-TXP" followed by the code, zero-padded to six digits.
std::string TXPMessageCodeText(long code);

// Prints "[BeaconTransport][I-TXP00xxxx] <message>" when `level` reaches the threshold.
void TXPConsoleLog(long code, int level, std::string_view message);
inline bool TXPConsoleLogPrints(int level) {
    return level >= TXPConsoleThreshold;
}

// Prints "[BeaconTransport][I-TXP001006] (<file>:<line>) : <message>" (001007 when fatal),
// whatever the level.
void TXPAssertionLog(bool fatal, std::string_view file, long line, std::string_view message);

// Where printed lines go: standard error until a test installs its own sink (empty restores it).
using TXPConsoleSink = std::function<void(const std::string& line)>;
void TXPSetConsoleSink(TXPConsoleSink sink);

// The assertion helper: when one is installed, a failed assertion runs it with the message in
// place of printing the assertion line (empty removes it).
using TXPAssertionBlock = std::function<void(const std::string& message)>;
void TXPSetAssertHelperBlock(TXPAssertionBlock block);
TXPAssertionBlock TXPAssertHelperBlock();

// Reports a failed precondition; the caller goes on with the code after the check.
void TXPAssertionFailed(const char* file, long line, std::string_view message);

}  // namespace pex

// Debug and warning lines build their text only when the level would print it.
#define TXPLogDebug(code, message_expr)                                            \
    do {                                                                           \
        if (::pex::TXPConsoleLogPrints(::pex::TXPLogLevelDebug))                   \
            ::pex::TXPConsoleLog((code), ::pex::TXPLogLevelDebug, (message_expr)); \
    } while (0)
#define TXPLogWarning(code, message_expr)                                            \
    do {                                                                             \
        if (::pex::TXPConsoleLogPrints(::pex::TXPLogLevelWarning))                   \
            ::pex::TXPConsoleLog((code), ::pex::TXPLogLevelWarning, (message_expr)); \
    } while (0)
#define TXPAssert(condition, message_expr)                                               \
    do {                                                                                 \
        if (!(condition)) ::pex::TXPAssertionFailed(__FILE__, __LINE__, (message_expr)); \
    } while (0)
