#include "platform/mach/TaskThreads.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace pex {

namespace {

// The kernel's record for one directory entry of `getdents64`.
struct KernelDirent64 {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short recordLength;
    unsigned char type;
    char name[];
};

// A thread id spelled in decimal; false for "." and "..".
bool parseTid(const char* text, pid_t* tid) {
    if (*text == '\0') return false;
    long value = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9' || value > 100000000) return false;
        value = value * 10 + (*text - '0');
    }
    *tid = static_cast<pid_t>(value);
    return value > 0;
}

// Appends the decimal digits of `value` at `out`; answers the end.
char* appendDecimal(char* out, long value) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

// The value of the hexadecimal digit `c`, or -1.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

long TaskThreads::list(pid_t* tids, std::size_t capacity) {
    const int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    alignas(8) char buffer[4096];
    long count = 0;
    for (;;) {
        const long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            close(fd);
            return -1;
        }
        if (got == 0) break;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const KernelDirent64*>(buffer + at);
            pid_t tid = 0;
            if (parseTid(entry->name, &tid) && static_cast<std::size_t>(count) < capacity) {
                tids[count++] = tid;
            }
            at += entry->recordLength;
        }
    }
    close(fd);
    return count;
}

pid_t TaskThreads::currentThread() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool TaskThreads::name(pid_t tid, char* name, std::size_t capacity) {
    if (capacity == 0) return false;
    name[0] = '\0';
    char path[64] = "/proc/self/task/";
    char* end = appendDecimal(path + std::strlen(path), tid);
    std::memcpy(end, "/comm", sizeof "/comm");

    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t got;
    do {
        got = read(fd, name, capacity - 1);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got < 0) return false;
    std::size_t length = static_cast<std::size_t>(got);
    if (length > 0 && name[length - 1] == '\n') --length;
    name[length] = '\0';
    return true;
}

TaskThreads::SignalReach TaskThreads::signalReach(pid_t tid, int signal) {
    if (signal < 1 || signal > 64) return SignalReach::reached;
    char path[64] = "/proc/self/task/";
    char* end = appendDecimal(path + std::strlen(path), tid);
    std::memcpy(end, "/status", sizeof "/status");

    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ESRCH ? SignalReach::gone : SignalReach::reached;
    // The whole file is a few dozen short lines.
    char text[4096];
    std::size_t length = 0;
    while (length < sizeof text - 1) {
        const ssize_t got = read(fd, text + length, sizeof text - 1 - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<std::size_t>(got);
    }
    close(fd);
    text[length] = '\0';

    // "State:" then blanks and one letter: S for an interruptible sleep.
    const char* state = std::strstr(text, "\nState:");
    if (state == nullptr) return SignalReach::reached;
    state += sizeof "\nState:" - 1;
    while (*state == ' ' || *state == '\t') ++state;
    // Z (a zombie) and X (dead): its end is under way.
    if (*state == 'Z' || *state == 'X') return SignalReach::gone;
    const bool asleep = *state == 'S';

    // "SigBlk:" then sixteen hexadecimal digits, the highest signal first.
    const char* at = std::strstr(text, "\nSigBlk:");
    if (at == nullptr) return SignalReach::reached;
    at += sizeof "\nSigBlk:" - 1;
    while (*at == ' ' || *at == '\t') ++at;
    std::uint64_t blocked = 0;
    for (int value; (value = hexValue(*at)) >= 0; ++at) {
        blocked = (blocked << 4) | static_cast<std::uint64_t>(value);
    }
    if (!((blocked >> (signal - 1)) & 1)) return SignalReach::reached;
    return asleep ? SignalReach::blockedAsleep : SignalReach::blockedRunning;
}

}  // namespace pex
