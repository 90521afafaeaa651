#include "crashreporter/runtime/CRSThreadSignalStacks.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace pex {
namespace {

void* registeredBase() {
    stack_t current{};
    sigaltstack(nullptr, &current);
    return (current.ss_flags & SS_DISABLE) ? nullptr : current.ss_sp;
}

// Threads that exist before the call: one without a stack gets one, one with its own keeps it,
// one that blocks the request (as a thread that is just starting does) is not waited for and
// takes its stack once it unblocks it.
TEST(CRSThreadSignalStacksTest, ExistingThreadsWithoutAStackGetOne) {
    enum Kind { plain, ownStack, blocking };
    struct Probe {
        Kind kind;
        void* before = nullptr;
        void* after = nullptr;
    };
    std::vector<Probe> probes{{plain}, {ownStack}, {blocking}};
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    static char ownMemory[65536];
    std::vector<std::thread> threads;
    for (Probe& probe : probes) {
        threads.emplace_back([&] {
            // Each thread starts without a stack (a sanitizer may have given it one) and gets
            // the one it had back at its end, for whoever releases it then.
            stack_t original{};
            sigaltstack(nullptr, &original);
            stack_t none{};
            none.ss_flags = SS_DISABLE;
            sigaltstack(&none, nullptr);
            if (probe.kind == ownStack) {
                stack_t own{};
                own.ss_sp = ownMemory;
                own.ss_size = sizeof ownMemory;
                sigaltstack(&own, nullptr);
            } else if (probe.kind == blocking) {
                sigset_t request;
                sigemptyset(&request);
                sigaddset(&request, CRSThreadSignalStackRequestSignal());
                pthread_sigmask(SIG_BLOCK, &request, nullptr);
            }
            probe.before = registeredBase();
            ready.fetch_add(1);
            while (!go.load()) std::this_thread::yield();
            if (probe.kind == blocking) {
                sigset_t request;
                sigemptyset(&request);
                sigaddset(&request, CRSThreadSignalStackRequestSignal());
                pthread_sigmask(SIG_UNBLOCK, &request, nullptr);
            }
            probe.after = registeredBase();
            sigaltstack(&original, nullptr);
        });
    }
    while (ready.load() < 3) std::this_thread::yield();

    EXPECT_EQ(CRSThreadSignalStacksGiveExistingThreads(30'000'000'000), 1u);
    EXPECT_TRUE(CRSThreadHasSignalStack());  // the calling thread
    go = true;
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(probes[plain].before, nullptr);
    EXPECT_NE(probes[plain].after, nullptr);
    EXPECT_EQ(probes[ownStack].after, static_cast<void*>(ownMemory));
    EXPECT_EQ(probes[blocking].before, nullptr);
    EXPECT_NE(probes[blocking].after, nullptr);
}

}  // namespace
}  // namespace pex
