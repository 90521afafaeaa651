#pragma once
// Exceptions: uncaught C++ exceptions through a terminate handler, exception models the
// application records itself as non-fatal "custom" exceptions, and on-demand exceptions that
// go into a report of their own, with the state of the whole process.
//
// A record is one "exception" line: its type text, the hex-encoded name and reason, the time
// and, when given, the frames of the model's stack.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "crashreporter/BCNExceptionModel.h"
#include "crashreporter/BCNStackFrame.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

inline constexpr char kCRSExceptionFileName[] = "exception.clsrecord";
inline constexpr char kCRSCustomFatalFileName[] = "custom_fatal.clsrecord";
inline constexpr char kCRSOnDemandRecordedKey[] = "com.crashreporter.on-demand.recorded-exceptions";
inline constexpr char kCRSOnDemandDroppedKey[] = "com.crashreporter.on-demand.dropped-exceptions";

enum class CRSExceptionType : int {
    ObjectiveC = 1,  // never produced here: there is no such runtime
    Cpp = 2,
    Unknown = 3,
    Custom = 4,
};

// "objective-c", "c++", "unknown" or "custom"; "unknown" for any other value.
const char* CRSExceptionNameForType(CRSExceptionType type);

struct CRSExceptionReadOnlyContext {
    const char* path;
    std::terminate_handler originalTerminateHandler;
    // The C++ runtime's mapped image [low, high): its frames between the throw site and the
    // terminate handler are left out of the crashed thread's stack. Both 0 when unknown.
    std::uintptr_t runtimeLow;
    std::uintptr_t runtimeHigh;
    // The same for the stack unwinder's image, whose frames lie among the runtime's when an
    // exception reaches a frame that may not throw (the unwinder's search ends in terminate).
    std::uintptr_t unwinderLow;
    std::uintptr_t unwinderHigh;
    // Zero when custom exceptions are switched off.
    std::uint32_t maxCustomExceptions;
};

// Removes an earlier record, installs the terminate handler (keeping the earlier one) and
// zeroes the custom-exception count.
void CRSExceptionInitialize(CRSExceptionReadOnlyContext* context, int* customExceptionCount);

// The installed terminate handler: records the exception in flight with the whole process, on
// the terminating thread itself and without allocating or locking (its stack from the throw
// site on), runs the earlier handler and aborts.
[[noreturn]] void CRSTerminateHandler();

// Records an exception model from the application as a custom (non-fatal) exception, with the
// rollouts text when given (JSON that is not valid is left out).
void CRSExceptionRecordModel(const BCNExceptionModel& exception,
                             const std::optional<std::string>& rollouts);
// Fatal types (C++) are written with the whole process into "exception.clsrecord", once per
// process: a second crash of any kind records nothing. Custom ones go to the A/B files.
void CRSExceptionRecord(CRSExceptionType type, const char* name, const char* reason,
                        const std::vector<BCNStackFrame>* frames,
                        const std::optional<std::string>& rollouts);

// Copies the active report into a new report under "active" and records the exception there
// with the whole process and the two on-demand counters; the active report starts its custom
// exceptions afresh. The new report's path, or nothing when it could not be made.
std::optional<std::string> CRSExceptionRecordOnDemandModel(const BCNExceptionModel& exception,
                                                           int recordedCount, int droppedCount,
                                                           bool suspendThreads);
std::optional<std::string> CRSExceptionRecordOnDemand(CRSExceptionType type, const char* name,
                                                      const char* reason,
                                                      const std::vector<BCNStackFrame>& frames,
                                                      bool fatal, int recordedCount,
                                                      int droppedCount, bool suspendThreads);

// The late check: warns when the terminate handler is no longer ours.
void CRSExceptionCheckHandlers();

// Throws the C string "CrashReporter C++ Test Exception".
[[noreturn]] void CRSExceptionRaiseTestCppException();

}  // namespace pex
