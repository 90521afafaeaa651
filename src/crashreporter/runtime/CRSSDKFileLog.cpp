#include "crashreporter/runtime/CRSSDKFileLog.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFile.h"
#include "platform/foundation/Hex.h"

namespace pex {

namespace {

constexpr int kOpenNotStarted = 0;
constexpr int kOpening = 1;
constexpr int kOpenDone = 2;
// The thread that is opening the log, so that a signal handler running on that very thread
// knows not to wait for an open it interrupted.
std::atomic<long> openingThread{0};
std::atomic<long> openWaitNanoseconds{kCRSSDKLogOpenWaitNanoseconds};

long monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000L + now.tv_nsec;
}

long currentThreadId() {
    return syscall(SYS_gettid);
}

// Collects one message on the stack and writes it in as few `write` calls as it fits into
// (one, for every message of ordinary length), so concurrent messages rarely interleave.
class MessageBuffer {
  public:
    explicit MessageBuffer(int fd) : fd_(fd) {}
    ~MessageBuffer() { flush(); }

    void append(char c) {
        if (length_ == sizeof buffer_) flush();
        buffer_[length_++] = c;
    }
    void append(const char* text) {
        for (; *text != '\0'; ++text) append(*text);
    }
    void appendUnsigned(std::uint64_t value, unsigned base) {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = hexDigit(static_cast<unsigned>(value % base));
            value /= base;
        } while (value != 0);
        while (count > 0) append(digits[--count]);
    }
    void appendSigned(std::int64_t value) {
        if (value < 0) {
            append('-');
            // Negating in unsigned arithmetic keeps the most negative value whole.
            appendUnsigned(0 - static_cast<std::uint64_t>(value), 10);
        } else {
            appendUnsigned(static_cast<std::uint64_t>(value), 10);
        }
    }

  private:
    void flush() {
        if (length_ > 0) CRSFileWriteWithRetries(fd_, buffer_, length_);
        length_ = 0;
    }

    int fd_;
    char buffer_[1024];
    std::size_t length_ = 0;
};

void formatMessage(MessageBuffer& out, const char* format, va_list args) {
    for (const char* c = format; *c != '\0'; ++c) {
        if (*c != '%') {
            out.append(*c);
            continue;
        }
        const char conversion = *++c;
        switch (conversion) {
            case '\0':
                out.append('%');
                return;
            case 'd':
                out.appendSigned(va_arg(args, int));
                break;
            case 'u':
                out.appendUnsigned(va_arg(args, unsigned), 10);
                break;
            case 'x':
                out.appendUnsigned(va_arg(args, unsigned), 16);
                break;
            case 'p':
                out.append("0x");
                out.appendUnsigned(reinterpret_cast<std::uintptr_t>(va_arg(args, void*)), 16);
                break;
            case 's': {
                const char* text = va_arg(args, const char*);
                out.append(text != nullptr ? text : "(null)");
                break;
            }
            case 'l': {
                if (c[1] == 'l') ++c;
                const char kind = *++c;
                if (kind == 'd') {
                    out.appendSigned(va_arg(args, long long));
                } else if (kind == 'u') {
                    out.appendUnsigned(va_arg(args, unsigned long long), 10);
                } else if (kind == 'x') {
                    out.appendUnsigned(va_arg(args, unsigned long long), 16);
                } else {
                    (void)va_arg(args, unsigned long long);
                    if (kind == '\0') return;
                }
                break;
            }
            default:
                out.append('%');
                out.append(conversion);
                break;
        }
    }
}

// The descriptor of "sdk.log", opened by the first message of the process. A message that
// arrives while another thread opens it waits for that open, but only so long: the opener may
// never finish (a crash handler has suspended it, or the open itself hangs), and a crash
// handler must not hang with it. A signal handler that interrupted the opening thread itself
// cannot wait at all. Either way the message is dropped.
int logDescriptor(CRSReadOnlyContext& readonly, CRSReadWriteContext& writable) {
    std::atomic_ref<int> fd(writable.internalLogFd);
    std::atomic_ref<int> state(writable.internalLogOpenState);
    int expected = kOpenNotStarted;
    if (fd.load() == -1 && state.compare_exchange_strong(expected, kOpening)) {
        openingThread.store(currentThreadId());
        fd.store(open(readonly.logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
        state.store(kOpenDone);
        openingThread.store(0);
    }
    if (state.load() == kOpening) {
        const long deadline = monotonicNanoseconds() + openWaitNanoseconds.load();
        const timespec pause{0, 50'000};
        const long self = currentThreadId();
        while (state.load() == kOpening) {
            if (openingThread.load() == self || monotonicNanoseconds() >= deadline) return -1;
            nanosleep(&pause, nullptr);
        }
    }
    return fd.load();
}

}  // namespace

void CRSSDKFileLogSetOpenWait(long nanoseconds) {
    openWaitNanoseconds.store(nanoseconds);
}

void CRSSDKFileLog(int level, const char* format, ...) {
    CRSContext* context = crsContext;
    if (reinterpret_cast<std::uintptr_t>(context) < 4096) return;
    CRSReadOnlyContext* readonly = context->readonly;
    CRSReadWriteContext* writable = context->writable;
    if (reinterpret_cast<std::uintptr_t>(readonly) < 4096 ||
        reinterpret_cast<std::uintptr_t>(writable) < 4096 ||
        reinterpret_cast<std::uintptr_t>(readonly->logPath) < 4096) {
        return;
    }
    if (level < std::atomic_ref<int>(writable->internalLogLevel).load()) return;
    const int fd = logDescriptor(*readonly, *writable);
    if (fd < 0) return;

    MessageBuffer out(fd);
    va_list args;
    va_start(args, format);
    formatMessage(out, format, args);
    va_end(args);
}

}  // namespace pex
