#include "platform/mach/TaskMemory.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace pex {

namespace {

// Set once the kernel has refused `process_vm_readv`, so later reads skip straight to the pipe.
std::atomic<bool> vmReadUnavailable{false};

constexpr std::size_t kPipeChunk = 4096;

bool closeBoth(int fds[2], bool result) {
    close(fds[0]);
    close(fds[1]);
    return result;
}

}  // namespace

bool TaskMemory::read(const void* source, void* destination, std::size_t length) {
    if (length == 0) return true;
    if (!vmReadUnavailable.load(std::memory_order_relaxed)) {
        iovec local{destination, length};
        iovec remote{const_cast<void*>(source), length};
        const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        if (copied >= 0) return static_cast<std::size_t>(copied) == length;
        if (errno != ENOSYS && errno != EPERM) return false;
        vmReadUnavailable.store(true, std::memory_order_relaxed);
    }
    return readThroughPipe(source, destination, length);
}

bool TaskMemory::readThroughPipe(const void* source, void* destination, std::size_t length) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    auto* from = static_cast<const std::uint8_t*>(source);
    auto* to = static_cast<std::uint8_t*>(destination);
    while (length > 0) {
        const std::size_t chunk = length < kPipeChunk ? length : kPipeChunk;
        ssize_t written;
        do {
            written = write(fds[1], from, chunk);
        } while (written < 0 && errno == EINTR);
        if (written != static_cast<ssize_t>(chunk)) return closeBoth(fds, false);
        std::size_t received = 0;
        while (received < chunk) {
            const ssize_t got = ::read(fds[0], to + received, chunk - received);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return closeBoth(fds, false);
            received += static_cast<std::size_t>(got);
        }
        from += chunk;
        to += chunk;
        length -= chunk;
    }
    return closeBoth(fds, true);
}

}  // namespace pex
