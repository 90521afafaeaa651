#pragma once
// Reads of the process's own memory that fail cleanly instead of faulting, so a crash handler
// can follow pointers it cannot trust. Both reads are async-signal-safe.
#include <cstddef>

namespace pex {

class TaskMemory {
  public:
    // Copies `length` bytes at `source` into `destination` through the kernel
    // (`process_vm_readv` on the own process). Where the kernel refuses that call (an old
    // kernel or a sandbox), falls back to `readThroughPipe`. True only when every byte was
    // copied; unmapped or unreadable memory answers false.
    static bool read(const void* source, void* destination, std::size_t length);

    // The fallback: the kernel copies the source into a fresh pipe (failing with EFAULT on
    // unreadable memory) and the bytes are read back out of it, a page at a time.
    static bool readThroughPipe(const void* source, void* destination, std::size_t length);
};

}  // namespace pex
