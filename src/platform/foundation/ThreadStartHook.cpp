#include "platform/foundation/ThreadStartHook.h"

#include <atomic>

namespace pex {

namespace {
std::atomic<ThreadStartHook> installedHook{nullptr};
}  // namespace

void setThreadStartHook(ThreadStartHook hook) {
    installedHook.store(hook, std::memory_order_release);
}

void runThreadStartHook() {
    if (ThreadStartHook hook = installedHook.load(std::memory_order_acquire)) hook();
}

}  // namespace pex
