#include "crashreporter/runtime/CRSThreadStacks.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace pex {

namespace {

// A slot's thread is 0 when free and -1 while its note is being written.
struct Note {
    pid_t thread;
    std::uintptr_t low;
    std::uintptr_t high;
};

Note gNotes[kCRSThreadStacksCapacity];

constexpr pid_t kWriting = -1;

std::atomic_ref<pid_t> threadOf(Note& note) {
    return std::atomic_ref<pid_t>(note.thread);
}

pid_t currentThread() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// Frees the thread's slot as it ends, so a later thread that gets the same id is not taken
// for it.
struct NoteOwner {
    Note* note = nullptr;
    ~NoteOwner() {
        if (note != nullptr) threadOf(*note).store(0, std::memory_order_release);
    }
};

bool currentStack(std::uintptr_t* low, std::uintptr_t* high) {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return false;
    void* address = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attributes, &address, &size) == 0 && size > 0;
    pthread_attr_destroy(&attributes);
    *low = reinterpret_cast<std::uintptr_t>(address);
    *high = *low + size;
    return known;
}

bool holds(std::uintptr_t low, std::uintptr_t high, std::uintptr_t sp) {
    return low < high && sp < high && (sp >= low || low - sp <= kCRSThreadStackGuardReach);
}

// Reads a hexadecimal number; false when there is none at `at`.
bool hex(const char*& at, const char* end, std::uintptr_t* value) {
    std::uintptr_t result = 0;
    const char* start = at;
    for (; at < end; ++at) {
        const char c = *at;
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            break;
        }
        result = result * 16 + static_cast<std::uintptr_t>(digit);
    }
    *value = result;
    return at != start;
}

// One line of the map: "start-end perms ...". False when it does not read as one.
bool parseMapping(const char* line, const char* end, std::uintptr_t* start, std::uintptr_t* stop,
                  bool* writable) {
    const char* at = line;
    if (!hex(at, end, start) || at >= end || *at != '-') return false;
    ++at;
    if (!hex(at, end, stop) || end - at < 3 || *at != ' ') return false;
    *writable = at[1] == 'r' && at[2] == 'w';
    return true;
}

void assign(const std::uintptr_t* sps, std::size_t count, std::uintptr_t* lows,
            std::uintptr_t* highs, bool* open, std::uintptr_t start, std::uintptr_t stop) {
    for (std::size_t i = 0; i < count; ++i) {
        // The map is in address order: the first writable mapping above a stack pointer that
        // holds it is its stack.
        if (!open[i] || stop <= sps[i]) continue;
        open[i] = false;
        if (holds(start, stop, sps[i])) {
            lows[i] = start;
            highs[i] = stop;
        }
    }
}

}  // namespace

void CRSThreadStacksNoteCurrentThread() {
    thread_local NoteOwner owner;
    if (owner.note != nullptr) return;
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
    if (!currentStack(&low, &high)) return;
    const pid_t self = currentThread();
    for (Note& note : gNotes) {
        pid_t expected = 0;
        if (!threadOf(note).compare_exchange_strong(expected, kWriting,
                                                    std::memory_order_acq_rel)) {
            continue;
        }
        note.low = low;
        note.high = high;
        threadOf(note).store(self, std::memory_order_release);
        owner.note = &note;
        return;
    }
}

bool CRSThreadStacksFindNoted(pid_t thread, std::uintptr_t sp, std::uintptr_t* low,
                              std::uintptr_t* high) {
    if (thread <= 0) return false;
    for (Note& note : gNotes) {
        if (threadOf(note).load(std::memory_order_acquire) != thread) continue;
        if (!holds(note.low, note.high, sp)) return false;
        *low = note.low;
        *high = note.high;
        return true;
    }
    return false;
}

void CRSThreadStacksFindInMemoryMap(const std::uintptr_t* sps, std::size_t count,
                                    std::uintptr_t* lows, std::uintptr_t* highs) {
    // Which stack pointers still look for their mapping.
    bool open[kCRSThreadStacksCapacity];
    std::size_t looking = 0;
    if (count > kCRSThreadStacksCapacity) count = kCRSThreadStacksCapacity;
    for (std::size_t i = 0; i < count; ++i) {
        open[i] = sps[i] != 0 && lows[i] == 0 && highs[i] == 0;
        if (open[i]) ++looking;
    }
    if (looking == 0) return;
    const int fd =
        static_cast<int>(syscall(SYS_openat, AT_FDCWD, "/proc/self/maps", O_RDONLY | O_CLOEXEC));
    if (fd < 0) return;
    // Lines are read into a fixed buffer; a line longer than it (a very long path) is skipped
    // past its end, its start already read.
    char buffer[4096];
    std::size_t filled = 0;
    bool skipping = false;
    for (;;) {
        const ssize_t got = syscall(SYS_read, fd, buffer + filled, sizeof buffer - filled);
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
        std::size_t begin = 0;
        for (;;) {
            const void* newline = std::memchr(buffer + begin, '\n', filled - begin);
            if (newline == nullptr) break;
            const char* end = static_cast<const char*>(newline);
            std::uintptr_t start = 0;
            std::uintptr_t stop = 0;
            bool writable = false;
            if (!skipping && parseMapping(buffer + begin, end, &start, &stop, &writable) &&
                writable) {
                assign(sps, count, lows, highs, open, start, stop);
            }
            skipping = false;
            begin = static_cast<std::size_t>(end - buffer) + 1;
        }
        if (begin == 0 && filled == sizeof buffer) {
            // One line fills the buffer: its start is all that matters.
            std::uintptr_t start = 0;
            std::uintptr_t stop = 0;
            bool writable = false;
            if (!skipping && parseMapping(buffer, buffer + filled, &start, &stop, &writable) &&
                writable) {
                assign(sps, count, lows, highs, open, start, stop);
            }
            skipping = true;
            filled = 0;
            continue;
        }
        std::memmove(buffer, buffer + begin, filled - begin);
        filled -= begin;
    }
    syscall(SYS_close, fd);
}

}  // namespace pex
