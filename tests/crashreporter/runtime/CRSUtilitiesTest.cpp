#include "crashreporter/runtime/CRSUtilities.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"
#include "platform/foundation/Clock.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

// A readable page followed by an inaccessible one, for reads that must stop at the edge.
class EdgePage {
  public:
    EdgePage() : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
        mapping_ = static_cast<char*>(
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(mapping_ + page_, page_, PROT_NONE);
    }
    ~EdgePage() { munmap(mapping_, 2 * page_); }
    // Where `length` bytes end exactly at the inaccessible page.
    char* endingAtEdge(std::size_t length) { return mapping_ + page_ - length; }
    char* inaccessible() { return mapping_ + page_; }

  private:
    std::size_t page_;
    char* mapping_;
};

TEST(CRSUtilitiesTest, ReadsMemoryOnlyWhereItIsReadable) {
    EdgePage edge;
    const char source[] = "readable bytes";
    char copy[sizeof source] = {};
    EXPECT_TRUE(CRSReadMemory(source, copy, sizeof source));
    EXPECT_STREQ(copy, source);

    EXPECT_FALSE(CRSReadMemory(edge.inaccessible(), copy, 4));
    EXPECT_FALSE(CRSReadMemory(edge.endingAtEdge(2), copy, 4));
    EXPECT_FALSE(CRSReadMemory(reinterpret_cast<const void*>(4095), copy, 1));
    EXPECT_FALSE(CRSReadMemory(reinterpret_cast<const void*>(UINTPTR_MAX - 2), copy, 8));
}

TEST(CRSUtilitiesTest, FindsTheTerminatorOfReadableStrings) {
    EdgePage edge;
    char* tight = edge.endingAtEdge(6);
    std::memcpy(tight, "short", 6);  // its zero is the last readable byte
    const char* out = nullptr;
    EXPECT_TRUE(CRSReadString(tight, &out, 100));
    EXPECT_EQ(out, tight);

    char* unterminated = edge.endingAtEdge(5);
    std::memcpy(unterminated, "abcde", 5);  // runs into the inaccessible page
    EXPECT_FALSE(CRSReadString(unterminated, &out, 100));

    const std::string longer(600, 'y');  // longer than one read piece
    EXPECT_TRUE(CRSReadString(longer.c_str(), &out, 601));
    EXPECT_FALSE(CRSReadString(longer.c_str(), &out, 600));  // no zero within the maximum

    EXPECT_FALSE(CRSReadString(reinterpret_cast<const char*>(100), &out, 10));
    // A range that wraps around the top of the address space.
    EXPECT_FALSE(CRSReadString(reinterpret_cast<const char*>(UINTPTR_MAX - 8), &out, 64));
}

TEST(CRSUtilitiesTest, UnlinkToleratesOnlyAbsence) {
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "file";
    std::ofstream(file) << "x";
    EXPECT_TRUE(CRSUnlinkIfExists(file.c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(CRSUnlinkIfExists(file.c_str()));                          // missing file
    EXPECT_TRUE(CRSUnlinkIfExists((dir.path() / "no" / "file").c_str()));  // missing folder
    EXPECT_FALSE(CRSUnlinkIfExists(dir.path().c_str()));                   // a folder
    EXPECT_FALSE(CRSUnlinkIfExists(nullptr));
}

TEST(CRSUtilitiesTest, LooksSymbolsUpInTheLoader) {
    std::optional<std::pair<std::string, std::string>> found;
    int calls = 0;
    auto record = [&](const char* symbol, const char* image) {
        ++calls;
        if (symbol != nullptr && image != nullptr) found.emplace(symbol, image);
    };
    const void* exported = dlsym(RTLD_DEFAULT, "gnu_get_libc_version");
    ASSERT_NE(exported, nullptr);
    CRSDladdr(exported, record);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->first, "gnu_get_libc_version");
    EXPECT_NE(found->second.find("libc"), std::string::npos);

    found.reset();
    CRSDladdr(reinterpret_cast<const void*>(16), record);
    EXPECT_FALSE(found);
    EXPECT_EQ(calls, 2);
}

using CRSDupStringTest = test::CrashContextTest;

TEST_F(CRSDupStringTest, CopiesIntoTheReadOnlyRegion) {
    EXPECT_EQ(CRSDupString(nullptr), nullptr);
    const char* copy = CRSDupString("a path");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "a path");
    const CRSAllocatorRegion& region = crsContext->allocator->readableRegion;
    const auto at = reinterpret_cast<std::uintptr_t>(copy);
    EXPECT_GE(at, region.start);
    EXPECT_LE(at + 7, region.start + region.size);
}

TEST(CRSUtilitiesTest, DispatchesAfterTheDelayOnTheClock) {
    ScopedManualClock manual;
    std::atomic<bool> ran{false};
    CRSDispatchAfter(2.5, DispatchQueue::global(), [&] { ran = true; });
    manual.clock().advance(std::chrono::milliseconds(2499));
    EXPECT_EQ(manual.clock().pendingCount(), 1u);
    manual.clock().advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(test::runMainUntil([&] { return ran.load(); }));
}

TEST(CRSUtilitiesTest, AddsAnOperationToItsQueueOnlyAfterTheDelay) {
    ScopedManualClock manual;
    const OperationQueue queue("com.example.work-queue", 1);
    std::atomic<bool> ran{false};
    std::string label;
    CRSAddOperationAfter(1.5, queue, [&] {
        label = DispatchQueue::currentLabel();
        ran = true;
    });
    manual.clock().advance(std::chrono::milliseconds(1499));
    EXPECT_EQ(manual.clock().pendingCount(), 1u);
    EXPECT_EQ(queue.operationCount(), 0u);  // not even waiting in the queue yet
    manual.clock().advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(test::runMainUntil([&] { return ran.load(); }));
    EXPECT_EQ(label, "com.example.work-queue");  // run by the operation queue
}

}  // namespace
}  // namespace pex
