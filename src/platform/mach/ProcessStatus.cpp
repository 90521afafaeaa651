#include "platform/mach/ProcessStatus.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pex {

namespace {

constexpr char kTracerKey[] = "TracerPid:";
constexpr std::size_t kTracerKeyLength = sizeof(kTracerKey) - 1;

bool startsLine(const char* text, std::size_t at) {
    return at == 0 || text[at - 1] == '\n';
}

}  // namespace

std::optional<long> ProcessStatus::parseTracerPid(const char* text, std::size_t length) {
    for (std::size_t at = 0; at + kTracerKeyLength <= length; ++at) {
        if (!startsLine(text, at) || std::memcmp(text + at, kTracerKey, kTracerKeyLength) != 0) {
            continue;
        }
        std::size_t i = at + kTracerKeyLength;
        while (i < length && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= length || text[i] < '0' || text[i] > '9') return std::nullopt;
        long pid = 0;
        for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (pid > 100'000'000) return std::nullopt;  // no pid is this long
            pid = pid * 10 + (text[i] - '0');
        }
        return pid;
    }
    return std::nullopt;
}

std::optional<long> ProcessStatus::tracerPid() {
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // The tracer line sits near the top; the whole status fits easily.
    char buffer[8192];
    std::size_t length = 0;
    while (length < sizeof buffer) {
        const ssize_t got = read(fd, buffer + length, sizeof buffer - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<std::size_t>(got);
    }
    close(fd);
    return parseTracerPid(buffer, length);
}

}  // namespace pex
