#include "crashreporter/runtime/CRSProcessStats.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"

namespace pex {

namespace {

// Reads a whole /proc file into `buffer` and terminates it; false when nothing was read.
bool readProcFile(const char* path, char* buffer, std::size_t capacity) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t length = 0;
    while (length + 1 < capacity) {
        const ssize_t got = read(fd, buffer + length, capacity - 1 - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<std::size_t>(got);
    }
    close(fd);
    buffer[length] = '\0';
    return length > 0;
}

// The decimal number at `text`, skipping blanks first; advances `text` past it.
bool readNumber(const char*& text, std::uint64_t* value) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text < '0' || *text > '9') return false;
    std::uint64_t number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) number = number * 10 + (*text - '0');
    *value = number;
    return true;
}

// The kB value of the "name:" line of /proc/meminfo, in bytes.
bool memInfoBytes(const char* text, const char* name, std::uint64_t* bytes) {
    const std::size_t nameLength = std::strlen(name);
    for (const char* line = text; *line != '\0';) {
        if (std::strncmp(line, name, nameLength) == 0 && line[nameLength] == ':') {
            const char* value = line + nameLength + 1;
            std::uint64_t kib = 0;
            if (!readNumber(value, &kib)) return false;
            *bytes = kib * 1024;
            return true;
        }
        const char* next = std::strchr(line, '\n');
        if (next == nullptr) break;
        line = next + 1;
    }
    return false;
}

std::size_t pageSize() {
    if (reinterpret_cast<std::uintptr_t>(crsContext) >= 4096 &&
        crsContext->readonly->host.pageSize > 0) {
        return crsContext->readonly->host.pageSize;
    }
    return 4096;
}

std::uint64_t ticksPerSecond() {
    if (reinterpret_cast<std::uintptr_t>(crsContext) >= 4096 &&
        crsContext->readonly->host.clockTicksPerSecond > 0) {
        return static_cast<std::uint64_t>(crsContext->readonly->host.clockTicksPerSecond);
    }
    return 100;
}

}  // namespace

bool CRSProcessParseMemInfo(const char* text, std::uint64_t* active, std::uint64_t* inactive,
                            std::uint64_t* wired, std::uint64_t* free) {
    return memInfoBytes(text, "Active", active) && memInfoBytes(text, "Inactive", inactive) &&
           memInfoBytes(text, "Mlocked", wired) && memInfoBytes(text, "MemFree", free);
}

bool CRSProcessParseStatTimes(const char* text, std::uint64_t* userTicks,
                              std::uint64_t* systemTicks) {
    // The command name in parentheses may hold anything; the fields follow the last ")".
    const char* close = std::strrchr(text, ')');
    if (close == nullptr) return false;
    const char* field = close + 1;
    // After the name: state, then ten numbers before utime (fields 14 and 15 of the line).
    while (*field == ' ') ++field;
    if (*field == '\0') return false;
    ++field;  // state
    std::uint64_t skipped = 0;
    for (int i = 0; i < 10; ++i) {
        while (*field == ' ') ++field;
        if (*field == '-') ++field;  // some fields may be negative
        if (!readNumber(field, &skipped)) return false;
    }
    return readNumber(field, userTicks) && readNumber(field, systemTicks);
}

bool CRSProcessGetMemoryUsage(std::uint64_t* active, std::uint64_t* inactive, std::uint64_t* wired,
                              std::uint64_t* free) {
    if (active == nullptr || inactive == nullptr || wired == nullptr || free == nullptr) {
        CRSSDKLogWarn("Invalid pointers\n");
        return false;
    }
    char text[8192];
    if (!readProcFile("/proc/meminfo", text, sizeof text) ||
        !CRSProcessParseMemInfo(text, active, inactive, wired, free)) {
        CRSSDKLogWarn("Failed to get vm statistics\n");
        return false;
    }
    return true;
}

bool CRSProcessGetInfo(std::uint64_t* virtualSize, std::uint64_t* residentSize,
                       std::uint64_t* userTime, std::uint64_t* systemTime) {
    if (virtualSize == nullptr || residentSize == nullptr || userTime == nullptr ||
        systemTime == nullptr) {
        CRSSDKLogWarn("Invalid pointers\n");
        return false;
    }
    char text[1024];
    std::uint64_t virtualPages = 0;
    std::uint64_t residentPages = 0;
    std::uint64_t userTicks = 0;
    std::uint64_t systemTicks = 0;
    const char* statm = text;
    if (!readProcFile("/proc/self/statm", text, sizeof text) || !readNumber(statm, &virtualPages) ||
        !readNumber(statm, &residentPages) || !readProcFile("/proc/self/stat", text, sizeof text) ||
        !CRSProcessParseStatTimes(text, &userTicks, &systemTicks)) {
        CRSSDKLogWarn("Failed to get task info\n");
        return false;
    }
    const std::uint64_t ticks = ticksPerSecond();
    *virtualSize = virtualPages * pageSize();
    *residentSize = residentPages * pageSize();
    *userTime = userTicks * 1000000 / ticks;
    *systemTime = systemTicks * 1000000 / ticks;
    return true;
}

void CRSProcessRecordStats(CRSFile* file) {
    std::uint64_t active = 0, inactive = 0, wired = 0, free = 0;
    std::uint64_t virtualSize = 0, residentSize = 0, userTime = 0, systemTime = 0;
    if (!CRSProcessGetMemoryUsage(&active, &inactive, &wired, &free)) {
        CRSSDKLogWarn("Unable to get process memory usage\n");
        return;
    }
    if (!CRSProcessGetInfo(&virtualSize, &residentSize, &userTime, &systemTime)) {
        CRSSDKLogWarn("Unable to get process stats\n");
        return;
    }
    CRSFileWriteSectionStart(file, "process_stats");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryUint64(file, "active", active);
    CRSFileWriteHashEntryUint64(file, "inactive", inactive);
    CRSFileWriteHashEntryUint64(file, "wired", wired);
    CRSFileWriteHashEntryUint64(file, "freeMem", free);
    CRSFileWriteHashEntryUint64(file, "free_mem", free);
    CRSFileWriteHashEntryUint64(file, "virtual", virtualSize);
    CRSFileWriteHashEntryUint64(file, "resident", residentSize);
    CRSFileWriteHashEntryUint64(file, "user_time", userTime);
    CRSFileWriteHashEntryUint64(file, "sys_time", systemTime);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace pex
