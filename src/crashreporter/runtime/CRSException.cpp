#include "crashreporter/runtime/CRSException.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <link.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <string>
#include <typeinfo>

#include <nlohmann/json.hpp>

#include "crashreporter/reports/CRSExecutionIdentifierModel.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSExceptionTypeName.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSHandler.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSPlatform.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "crashreporter/unwind/CRSUnwind.h"

namespace pex {

namespace {

namespace fs = std::filesystem;

pid_t currentThread() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// The rollouts text stands unquoted in the record, so only well-formed JSON on one line may.
bool isWritableRollouts(const std::optional<std::string>& rollouts) {
    return rollouts && rollouts->find('\n') == std::string::npos &&
           nlohmann::json::accept(*rollouts);
}

void writeFrame(CRSFile* file, const BCNStackFrame& frame) {
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryUint64(file, "pc", frame.address);
    if (!frame.symbol.empty()) {
        CRSFileWriteHashEntryHexEncodedString(file, "symbol", frame.symbol.c_str());
    }
    CRSFileWriteHashEntryUint64(file, "offset", frame.offset);
    if (!frame.library.empty()) {
        CRSFileWriteHashEntryHexEncodedString(file, "library", frame.library.c_str());
    }
    if (!frame.fileName.empty()) {
        CRSFileWriteHashEntryHexEncodedString(file, "file", frame.fileName.c_str());
    }
    CRSFileWriteHashEntryUint64(file, "line", frame.lineNumber);
    CRSFileWriteHashEnd(file);
}

void writeExceptionRecord(CRSFile* file, CRSExceptionType type, const char* name,
                          const char* reason, const std::vector<BCNStackFrame>* frames,
                          const std::optional<std::string>& rollouts) {
    CRSFileWriteSectionStart(file, "exception");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryString(file, "type", CRSExceptionNameForType(type));
    CRSFileWriteHashEntryHexEncodedString(file, "name", name);
    CRSFileWriteHashEntryHexEncodedString(file, "reason", reason != nullptr ? reason : "");
    CRSFileWriteHashEntryUint64(file, "time", static_cast<std::uint64_t>(std::time(nullptr)));
    if (frames != nullptr && !frames->empty()) {
        CRSFileWriteHashKey(file, "frames");
        CRSFileWriteArrayStart(file);
        for (const BCNStackFrame& frame : *frames) writeFrame(file, frame);
        CRSFileWriteArrayEnd(file);
    }
    if (isWritableRollouts(rollouts)) {
        // The value is an object holding the text, closed by the one brace after it.
        CRSFileWriteHashKey(file, "rollouts");
        CRSFileWriteHashStart(file);
        CRSFileWriteHashKey(file, "rollouts");
        CRSFileWriteStringUnquoted(file, rollouts->c_str());
        CRSFileWriteHashEnd(file);
    }
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

bool isFatal(CRSExceptionType type) {
    return type == CRSExceptionType::ObjectiveC || type == CRSExceptionType::Cpp;
}

// Another path (or this one) has already recorded a crash of this process.
bool crashRecorded() {
    if (!CRSContextIsInitialized()) return false;
    return std::atomic_ref<bool>(crsContext->writable->crashOccurred)
        .load(std::memory_order_seq_cst);
}

// The registers of the frame that threw: the walk from the terminate handler's own frame
// leaves out the handler and the C++ runtime's frames above it (the throw, the terminate
// call), so the stack starts where the program threw (or called what threw: an allocation,
// a bounds check inside the runtime). False when the walk cannot get there.
bool throwSiteState(const ucontext_t* handlerContext, CRSCrashedThreadState* out) {
    const CRSExceptionReadOnlyContext& exception = crsContext->readonly->exception;
    if (exception.runtimeLow >= exception.runtimeHigh) return false;
    CRSThreadContext registers;
    CRSThreadContextFromUContext(handlerContext, &registers);
    CRSUnwindContext walk;
    if (!CRSUnwindInit(&walk, &registers)) return false;
    bool passedRuntime = false;
    while (CRSUnwindNextFrame(&walk)) {
        const std::uintptr_t pc = CRSUnwindGetPC(&walk);
        if ((pc >= exception.runtimeLow && pc < exception.runtimeHigh) ||
            (pc >= exception.unwinderLow && pc < exception.unwinderHigh)) {
            passedRuntime = true;
        } else if (passedRuntime) {
            out->registers = walk.registers;
            out->pcIsReturnAddress = !walk.pcIsExact;
            return true;
        }
    }
    return false;
}

// Writes the record on the calling thread with what set-up prepared: the path, the context,
// and the caller's fixed buffers. `handlerContext` is the terminate handler's own registers,
// or nothing for a fatal exception the application records itself.
void recordFatal(CRSExceptionType type, const char* name, const char* reason,
                 const ucontext_t* handlerContext) {
    // Marked before anything is written: the abort that follows, or a fault on another thread
    // meanwhile, must not record a second crash.
    const pid_t thread = currentThread();
    if (CRSContextMarkAndCheckIfCrashed()) {
        CRSSDKLogError("Error: a crash was already recorded, not recording the exception\n");
        // Another thread's crash is being recorded: the abort that follows would cut it short.
        if (CRSContextCrashingThread() != thread) CRSSignalAwaitRecordedCrash();
        return;
    }
    CRSFile file;
    if (!CRSFileInit(&file, crsContext->readonly->exception.path, false)) {
        CRSSDKLogError("Unable to open exception file\n");
        CRSContextMarkCrashRecorded();
        return;
    }
    writeExceptionRecord(&file, type, name, reason, nullptr, std::nullopt);
    CRSCrashedThreadState state;
    if (handlerContext != nullptr && throwSiteState(handlerContext, &state)) {
        CRSHandler(&file, thread, nullptr, true, &state);
    } else {
        if (handlerContext != nullptr) CRSSDKLogWarn("Unable to find the throw site\n");
        CRSHandler(&file, thread, nullptr, true);
    }
    CRSFileClose(&file);
    CRSContextMarkCrashRecorded();
}

// Where the thrown object of `thrown` type lies as a `catchType`, the way a handler of that
// type would receive it (a thrown pointer is matched by its value); nothing when it would not
// catch it.
const void* caughtAs(const std::type_info& catchType, const std::type_info* thrown, void* object) {
    void* adjusted = thrown->__is_pointer_p() ? *static_cast<void**>(object) : object;
    return catchType.__do_catch(thrown, &adjusted, 1) ? adjusted : nullptr;
}

// The reason of the exception in flight, read without rethrowing it (a rethrow would run the
// unwinder again): what a handler of each known type would see.
const char* activeExceptionReason(const std::type_info* type) {
    // The one pointer of an exception_ptr is the thrown object.
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const std::exception_ptr active = std::current_exception();
    void* object = nullptr;
    std::memcpy(&object, &active, sizeof object);
    if (object == nullptr) return "";
    if (const void* text = caughtAs(typeid(const char*), type, object)) {
        return static_cast<const char*>(text);
    }
    if (const void* text = caughtAs(typeid(std::string), type, object)) {
        return static_cast<const std::string*>(text)->c_str();
    }
    if (const void* exception = caughtAs(typeid(std::exception), type, object)) {
        // An allocation failure lands here too, named "std::bad_alloc".
        return static_cast<const std::exception*>(exception)->what();
    }
    if (const void* exception = caughtAs(typeid(const std::exception*), type, object)) {
        return reinterpret_cast<std::uintptr_t>(exception) >= 4096
                   ? static_cast<const std::exception*>(exception)->what()
                   : "";
    }
    return "";
}

// Records the exception in flight by what it is.
void recordActiveException(const ucontext_t* handlerContext) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        CRSSDKLogWarn("Warning: no active exception\n");
        return;
    }
    if (reinterpret_cast<std::uintptr_t>(type) < 4096) {
        CRSSDKLogError("Error: invalid parameter\n");
        return;
    }
    CRSSDKLogInfo("Recording exception of type '%s'\n", type->name());
    // On this thread's stack, not the heap: two threads may terminate at once.
    char typeName[512];
    const char* name = typeName;
    if (*type == typeid(const char*) || *type == typeid(char*)) {
        name = "const char *";
    } else if (*type == typeid(std::string)) {
        name = "std::string";
    } else {
        CRSExceptionTypeNameDemangle(type->name(), typeName, sizeof typeName);
    }
    const char* reason = activeExceptionReason(type);
    if (!CRSContextIsInitialized()) return;
    CRSSDKLogInfo("Recording an exception structure (1)\n");
    recordFatal(CRSExceptionType::Cpp, name, reason, handlerContext);
    CRSSDKLogInfo("Finished recording an exception structure\n");
}

// The mapped range [low, high) of the image that holds `address`; both 0 when the handler
// shares that image (a runtime linked into the program itself: nothing tells its frames apart
// from the program's then, and the walk starts at the handler).
void findImageApartFromHandler(std::uintptr_t address, std::uintptr_t* lowOut,
                               std::uintptr_t* highOut) {
    struct Search {
        std::uintptr_t address;
        std::uintptr_t low = 0;
        std::uintptr_t high = 0;
    } search{address};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* found = static_cast<Search*>(data);
            std::uintptr_t low = UINTPTR_MAX;
            std::uintptr_t high = 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD) continue;
                const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                low = std::min(low, start);
                high = std::max(high, start + segment.p_memsz);
            }
            if (found->address < low || found->address >= high) return 0;
            found->low = low;
            found->high = high;
            return 1;
        },
        &search);
    const auto handler = reinterpret_cast<std::uintptr_t>(&CRSTerminateHandler);
    const bool separate = handler < search.low || handler >= search.high;
    *lowOut = separate ? search.low : 0;
    *highOut = separate ? search.high : 0;
}

// The C++ runtime's image, found by `std::terminate`: every path to the handler passes through
// it, and nothing intercepts it (the address sanitizer's runtime replaces `__cxa_throw`). And
// the unwinder's, found by one of its register reads (the sanitizer replaces the call that
// starts a throw's search, but not these).
void findRuntimeImages(CRSExceptionReadOnlyContext* context) {
    findImageApartFromHandler(reinterpret_cast<std::uintptr_t>(&std::terminate),
                              &context->runtimeLow, &context->runtimeHigh);
    findImageApartFromHandler(reinterpret_cast<std::uintptr_t>(&_Unwind_GetIP),
                              &context->unwinderLow, &context->unwinderHigh);
}

void createEmptyFile(const std::string& path, const char* failure) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        CRSSDKLogError("%s\n", failure);
        return;
    }
    close(fd);
}

void writeOnDemandCounter(CRSFile* file, const char* key, int count) {
    const std::string value = std::to_string(count);
    CRSFileWriteSectionStart(file, "kv");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryHexEncodedString(file, "key", key);
    CRSFileWriteHashEntryHexEncodedString(file, "value", value.c_str());
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

// The active report's custom exceptions went into the copy; it starts them afresh.
void resetActiveCustomExceptions() {
    const auto reset = [] {
        const CRSUserLoggingABStorage& storage =
            crsContext->readonly->logging.customExceptionStorage;
        for (const char* path : {storage.aPath, storage.bPath}) {
            if (path != nullptr && !CRSUnlinkIfExists(path)) {
                CRSSDKLogWarn("Unable to remove %s\n", path);
            }
        }
        crsContext->writable->customExceptionCount = 0;
    };
    if (CRSUserLoggingQueue().isCurrent()) {
        reset();
    } else {
        CRSUserLoggingQueue().sync(reset);
    }
}

}  // namespace

const char* CRSExceptionNameForType(CRSExceptionType type) {
    switch (type) {
        case CRSExceptionType::ObjectiveC:
            return "objective-c";
        case CRSExceptionType::Cpp:
            return "c++";
        case CRSExceptionType::Custom:
            return "custom";
        case CRSExceptionType::Unknown:
            break;
    }
    return "unknown";
}

void CRSExceptionInitialize(CRSExceptionReadOnlyContext* context, int* customExceptionCount) {
    if (context == nullptr) return;
    if (!CRSUnlinkIfExists(context->path)) {
        CRSSDKLogError("Unable to reset the exception file %s\n", strerror(errno));
    }
    findRuntimeImages(context);
    const std::terminate_handler previous = std::set_terminate(CRSTerminateHandler);
    context->originalTerminateHandler = previous != CRSTerminateHandler ? previous : nullptr;
    if (customExceptionCount != nullptr) *customExceptionCount = 0;
}

void CRSTerminateHandler() {
    // This frame's registers first: the walk to the throw site starts here.
    ucontext_t here;
    getcontext(&here);
    CRSSDKLogInfo("C++ terminate handler invoked\n");
    const bool present = CRSContextIsInitialized();
    std::terminate_handler original =
        present ? crsContext->readonly->exception.originalTerminateHandler : nullptr;
    if (original == CRSTerminateHandler) {
        CRSSDKLogError("Error: original handler was set recursively\n");
        original = nullptr;
    }
    if (original != nullptr) {
        CRSSDKLogInfo("restoring pre-existing handler\n");
        if (std::set_terminate(original) == original) {
            CRSSDKLogInfo("handler has already been restored, aborting\n");
            abort();
        }
    }
    recordActiveException(&here);

    // Once a crash is recorded, our abort handler would end the process without its signal;
    // what handled the abort before takes it instead, so the process dies by SIGABRT.
    if (crashRecorded()) CRSSignalRestoreAbortAction(&crsContext->readonly->signal);
    if (original != nullptr) {
        CRSSDKLogInfo("invoking pre-existing handler\n");
        original();
    }
    CRSSDKLogInfo("aborting\n");
    abort();
}

void CRSExceptionRecordModel(const BCNExceptionModel& exception,
                             const std::optional<std::string>& rollouts) {
    CRSExceptionRecord(CRSExceptionType::Custom, exception.name.c_str(), exception.reason.c_str(),
                       &exception.stackTrace, rollouts);
}

void CRSExceptionRecord(CRSExceptionType type, const char* name, const char* reason,
                        const std::vector<BCNStackFrame>* frames,
                        const std::optional<std::string>& rollouts) {
    if (!CRSContextIsInitialized()) return;
    CRSSDKLogInfo("Recording an exception structure (%d)\n", isFatal(type) ? 1 : 0);
    if (isFatal(type)) {
        recordFatal(type, name, reason, nullptr);
    } else {
        CRSUserLoggingWriteAndCheckABFiles(
            &crsContext->readonly->logging.customExceptionStorage,
            &crsContext->writable->logging.activeCustomExceptionPath, [&](CRSFile* file) {
                writeExceptionRecord(file, type, name, reason, frames, rollouts);
            });
    }
    CRSSDKLogInfo("Finished recording an exception structure\n");
}

std::optional<std::string> CRSExceptionRecordOnDemandModel(const BCNExceptionModel& exception,
                                                           int recordedCount, int droppedCount,
                                                           bool suspendThreads) {
    return CRSExceptionRecordOnDemand(
        CRSExceptionType::Custom, exception.name.c_str(), exception.reason.c_str(),
        exception.stackTrace, exception.isFatal, recordedCount, droppedCount, suspendThreads);
}

std::optional<std::string> CRSExceptionRecordOnDemand(CRSExceptionType type, const char* name,
                                                      const char* reason,
                                                      const std::vector<BCNStackFrame>& frames,
                                                      bool fatal, int recordedCount,
                                                      int droppedCount, bool suspendThreads) {
    if (!CRSContextIsInitialized()) return std::nullopt;
    CRSSDKLogInfo("Recording an exception structure on demand\n");

    const std::string reportPath =
        (fs::path(CRSFileManager().activePath()) / CRSExecutionIdentifierModel().executionID())
            .string();
    std::error_code error;
    fs::copy(crsContext->readonly->rootPath, reportPath, fs::copy_options::recursive, error);
    if (error) {
        CRSSDKLogError("Unable to create a new report to record on-demand exeption.\n");
        return std::nullopt;
    }
    resetActiveCustomExceptions();

    CRSFile kvFile;
    const std::string kvPath =
        (fs::path(reportPath) / "internal_incremental_kv.clsrecord").string();
    if (!CRSFileInit(&kvFile, kvPath.c_str(), true)) {
        CRSSDKLogError("Unable to open k-v file\n");
        return std::nullopt;
    }
    writeOnDemandCounter(&kvFile, kCRSOnDemandRecordedKey, recordedCount);
    writeOnDemandCounter(&kvFile, kCRSOnDemandDroppedKey, droppedCount);
    CRSFileClose(&kvFile);

    std::string targetPath;
    if (fatal) {
        createEmptyFile((fs::path(reportPath) / kCRSCustomFatalFileName).string(),
                        "Unable to create custom exception file. On demand exception will not "
                        "be logged with analytics.");
        targetPath = (fs::path(reportPath) / kCRSExceptionFileName).string();
    } else {
        targetPath = (fs::path(reportPath) / "custom_exception_a.clsrecord").string();
    }
    CRSFile file;
    if (!CRSFileInit(&file, targetPath.c_str(), true)) {
        CRSSDKLogError("Unable to open log file for on demand custom exception\n");
        return std::nullopt;
    }
    writeExceptionRecord(&file, type, name, reason, &frames, std::nullopt);
    CRSHandler(&file, currentThread(), nullptr, suspendThreads);
    CRSFileClose(&file);
    CRSSDKLogInfo("Finished recording on demand exception structure\n");
    return reportPath;
}

void CRSExceptionCheckHandlers() {
    if (!CRSContextIsInitialized() || crsContext->readonly->debuggerAttached) return;
    const std::terminate_handler current = std::get_terminate();
    if (current == CRSTerminateHandler) return;
    CRSDladdr(reinterpret_cast<const void*>(current), [](const char* symbol, const char* image) {
        CRSWarningLog(std::string("Warning: std::get_terminate is '") +
                      (symbol != nullptr ? symbol : "unknown") + "' in '" +
                      (image != nullptr ? image : "unknown") + "'");
    });
}

void CRSExceptionRaiseTestCppException() {
    throw "CrashReporter C++ Test Exception";
}

}  // namespace pex
