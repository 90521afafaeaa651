#pragma once
// Small helpers shared by the crash-time runtime. The memory and string reads, the string
// copy, the unlink and the redaction are safe inside a signal handler.
#include <cstddef>
#include <functional>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/OperationQueue.h"

namespace pex {

// A copy of `text` in the crash context's read-only region (heap memory when that is not
// available); nothing for nothing.
const char* CRSDupString(const char* text);

// Copies `length` bytes from the own process's `source` through the kernel: true when every
// byte was copied; false for unreadable memory, a source below 4096 or a range that wraps.
bool CRSReadMemory(const void* source, void* destination, std::size_t length);
// True when a terminating zero is found within `maxLength` bytes at `address`, all of them
// readable; false for an address below 4096 or a range that wraps around. `out` receives the
// same address (nothing is copied).
bool CRSReadString(const char* address, const char** out, std::size_t maxLength);

// True when the file was removed or was not there (a missing folder counts as not there).
bool CRSUnlinkIfExists(const char* path);

// Looks `address` up in the loader's symbol information and calls `callback` exactly once:
// with the symbol name and image path ("unknown" for either that is missing), or with two
// nulls when the address belongs to no loaded image.
void CRSDladdr(const void* address,
               const std::function<void(const char* symbol, const char* image)>& callback);

// Runs `work` on `queue` after `seconds`.
void CRSDispatchAfter(double seconds, const DispatchQueue& queue, DispatchQueue::Work work);
// After `seconds`, from the default global queue, adds `work` to `queue`: the work waits its
// turn there only once the delay is over.
void CRSAddOperationAfter(double seconds, const OperationQueue& queue, OperationQueue::Work work);

}  // namespace pex
