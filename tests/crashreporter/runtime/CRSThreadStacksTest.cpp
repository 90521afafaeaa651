#include "crashreporter/runtime/CRSThreadStacks.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include <gtest/gtest.h>

namespace pex {
namespace {

pid_t currentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

std::uintptr_t here() {
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
}

struct Stack {
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
};

Stack attributesOfCurrentThread() {
    pthread_attr_t attributes;
    void* address = nullptr;
    std::size_t size = 0;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstack(&attributes, &address, &size);
    pthread_attr_destroy(&attributes);
    return {reinterpret_cast<std::uintptr_t>(address),
            reinterpret_cast<std::uintptr_t>(address) + size};
}

TEST(CRSThreadStacksTest, AThreadsNotedStackHoldsItsStackPointerUntilTheThreadEnds) {
    pid_t tid = 0;
    std::uintptr_t sp = 0;
    Stack expected;
    Stack found;
    bool foundWhileRunning = false;
    bool foundFarAway = true;
    std::thread([&] {
        CRSThreadStacksNoteCurrentThread();
        CRSThreadStacksNoteCurrentThread();  // a repeat changes nothing
        tid = currentTid();
        sp = here();
        expected = attributesOfCurrentThread();
        foundWhileRunning = CRSThreadStacksFindNoted(tid, sp, &found.low, &found.high);
        std::uintptr_t low = 0;
        std::uintptr_t high = 0;
        // A stack pointer elsewhere: the note is of another thread that had the same id.
        foundFarAway = CRSThreadStacksFindNoted(tid, expected.high + (1 << 20), &low, &high) ||
                       CRSThreadStacksFindNoted(tid, expected.low - (1 << 20), &low, &high);
    }).join();
    ASSERT_TRUE(foundWhileRunning);
    EXPECT_EQ(found.low, expected.low);
    EXPECT_EQ(found.high, expected.high);
    EXPECT_LT(found.low, sp);
    EXPECT_GT(found.high, sp);
    EXPECT_FALSE(foundFarAway);
    Stack after;
    EXPECT_FALSE(CRSThreadStacksFindNoted(tid, sp, &after.low, &after.high));
}

TEST(CRSThreadStacksTest, TheMemoryMapGivesTheMappingAroundOrJustAboveEachStackPointer) {
    // A stack of our own: a guard page below three writable pages.
    const long page = sysconf(_SC_PAGESIZE);
    auto* mapping = static_cast<char*>(
        mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mapping, MAP_FAILED);
    ASSERT_EQ(mprotect(mapping, page, PROT_NONE), 0);
    const auto guard = reinterpret_cast<std::uintptr_t>(mapping);
    const auto low = guard + page;
    const auto high = guard + 4 * page;
    const auto code = reinterpret_cast<std::uintptr_t>(&here);

    const std::uintptr_t sps[] = {
        low + 100,  // inside
        guard + 8,  // in the guard: an overflow
        here(),     // this thread's own stack
        code,       // not writable, nothing writable right above it
        0,          // no registers
        low + 200,  // already known: left alone
    };
    std::uintptr_t lows[6] = {0, 0, 0, 0, 0, 1};
    std::uintptr_t highs[6] = {0, 0, 0, 0, 0, 2};
    CRSThreadStacksFindInMemoryMap(sps, 6, lows, highs);
    munmap(mapping, 4 * page);

    EXPECT_LE(lows[0], low);  // a neighbouring mapping may have merged with it
    EXPECT_GE(highs[0], high);
    EXPECT_EQ(lows[1], lows[0]);
    EXPECT_EQ(highs[1], highs[0]);
    EXPECT_LE(lows[2], sps[2]);
    EXPECT_GT(highs[2], sps[2]);
    EXPECT_LT(highs[2] - sps[2], std::uintptr_t{64} << 20);  // the stack, not a wider region
    EXPECT_EQ(lows[3], 0u);
    EXPECT_EQ(highs[3], 0u);
    EXPECT_EQ(lows[4], 0u);
    EXPECT_EQ(highs[4], 0u);
    EXPECT_EQ(lows[5], 1u);
    EXPECT_EQ(highs[5], 2u);
}

}  // namespace
}  // namespace pex
