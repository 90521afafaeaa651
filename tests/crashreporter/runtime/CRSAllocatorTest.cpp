#include "crashreporter/runtime/CRSAllocator.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "CrashContextFixture.h"

namespace pex {
namespace {

using CRSAllocatorTest = test::CrashContextTest;

std::uintptr_t address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

bool inside(const CRSAllocatorRegion& region, const void* p, std::size_t size) {
    return address(p) >= region.start && address(p) + size <= region.start + region.size;
}

TEST_F(CRSAllocatorTest, RoundsRegionsToWholePagesOfTheGivenSize) {
    struct Case {
        std::size_t page, writable, readable, expectedWritable, expectedReadable;
    };
    const Case cases[] = {
        {4096, 0, 0, 0, 4096},
        {4096, 1, 1, 4096, 4096},
        {4096, 4096, 4032, 8192, 8192},  // the record's 64 bytes tip the read-only region over
        {4096, 10000, 4031, 12288, 4096},
        {16384, 1, 100, 16384, 16384},
        {16384, 16384, 20000, 32768, 32768},
    };
    for (const Case& c : cases) {
        CRSAllocator* allocator = CRSAllocatorCreateWithPageSize(c.writable, c.readable, c.page);
        ASSERT_NE(allocator, nullptr);
        const auto base = address(allocator->buffer);
        EXPECT_EQ(allocator->writableRegion.size, c.expectedWritable)
            << c.page << "/" << c.writable;
        EXPECT_EQ(allocator->readableRegion.size, c.expectedReadable)
            << c.page << "/" << c.readable;
        EXPECT_EQ(allocator->writableRegion.start, base + c.page);
        EXPECT_EQ(allocator->readableRegion.start, base + 2 * c.page + c.expectedWritable);
        EXPECT_EQ(address(allocator), allocator->readableRegion.start);
        EXPECT_EQ(CRSAllocatorMappingSize(allocator),
                  c.expectedWritable + c.expectedReadable + 3 * c.page);
    }
}

TEST_F(CRSAllocatorTest, UsesTheSystemPageSize) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    CRSAllocator* allocator = CRSAllocatorCreate(1, 1);
    ASSERT_NE(allocator, nullptr);
    EXPECT_EQ(allocator->writableRegion.size, page);
    EXPECT_EQ(allocator->writableRegion.start - address(allocator->buffer), page);
}

TEST_F(CRSAllocatorTest, BumpsThroughARegionThenFallsBackToTheHeapNeverPastIt) {
    CRSAllocator* allocator = CRSAllocatorCreateWithPageSize(100, 100, 4096);
    ASSERT_NE(allocator, nullptr);
    const CRSAllocatorRegion writable = allocator->writableRegion;

    void* first = CRSAllocatorSafeAllocate(allocator, 1000, CRSAllocationTypeWritable);
    void* second = CRSAllocatorSafeAllocate(allocator, 3096, CRSAllocationTypeWritable);
    EXPECT_EQ(address(first), writable.start);
    EXPECT_EQ(address(second), writable.start + 1000);  // exactly fills the region
    std::memset(second, 0xAB, 3096);

    void* overflow = CRSAllocatorSafeAllocate(allocator, 1, CRSAllocationTypeWritable);
    ASSERT_NE(overflow, nullptr);
    EXPECT_FALSE(inside(allocator->writableRegion, overflow, 1));
    EXPECT_FALSE(inside(allocator->readableRegion, overflow, 1));
    EXPECT_EQ(*static_cast<char*>(overflow), 0);  // zero-filled heap memory
    std::free(overflow);
    EXPECT_NE(sdkLog().find("Unable to allocate sufficient memory, falling back to calloc\n"),
              std::string::npos);

    void* readable = CRSAllocatorSafeAllocate(allocator, 64, CRSAllocationTypeReadOnly);
    EXPECT_EQ(address(readable), allocator->readableRegion.start + kCRSAllocatorRecordSize);
    EXPECT_EQ(CRSAllocatorSafeAllocate(allocator, 8, 2), nullptr);
}

TEST_F(CRSAllocatorTest, MissingOrProtectedAllocatorsHandOutHeapMemory) {
    void* fromNothing = CRSAllocatorSafeAllocate(nullptr, 16, CRSAllocationTypeWritable);
    ASSERT_NE(fromNothing, nullptr);
    std::free(fromNothing);
    EXPECT_FALSE(CRSAllocatorProtect(nullptr));

    CRSAllocator* allocator = CRSAllocatorCreateWithPageSize(4096, 4096, 4096);
    ASSERT_NE(allocator, nullptr);
    EXPECT_TRUE(CRSAllocatorProtect(allocator));
    EXPECT_TRUE(CRSAllocatorProtect(allocator));  // already protected
    void* afterProtection = CRSAllocatorSafeAllocate(allocator, 16, CRSAllocationTypeReadOnly);
    ASSERT_NE(afterProtection, nullptr);
    EXPECT_FALSE(inside(allocator->readableRegion, afterProtection, 16));
    std::free(afterProtection);

    const std::string log = sdkLog();
    EXPECT_NE(log.find("Allocator invalid, falling back to calloc\n"), std::string::npos);
    EXPECT_NE(log.find("] Invalid allocator"), std::string::npos);
    EXPECT_NE(log.find("] Write protection already enabled"), std::string::npos);
    EXPECT_NE(log.find("Allocator already protected, falling back to calloc\n"), std::string::npos);
}

TEST_F(CRSAllocatorTest, GuardPagesAndTheProtectedRegionFaultOnWrite) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    CRSAllocator* allocator = CRSAllocatorCreate(page, page);
    ASSERT_NE(allocator, nullptr);
    auto* writable = reinterpret_cast<volatile char*>(allocator->writableRegion.start);
    auto* readable = reinterpret_cast<volatile char*>(allocator->readableRegion.start);
    const std::size_t readableSize = allocator->readableRegion.size;
    auto* readableData = readable + kCRSAllocatorRecordSize;
    const std::size_t writableSize = allocator->writableRegion.size;

    // The regions themselves are usable before protection.
    EXPECT_EQ(test::signalEndingChild([&] {
                  writable[0] = 1;
                  writable[writableSize - 1] = 1;
                  readableData[0] = 1;
              }),
              0);
    EXPECT_EQ(test::signalEndingChild([&] { writable[-1] = 1; }), SIGSEGV);
    EXPECT_EQ(test::signalEndingChild([&] { writable[writableSize] = 1; }), SIGSEGV);
    EXPECT_EQ(test::signalEndingChild([&] { readable[readableSize] = 1; }), SIGSEGV);

    ASSERT_TRUE(CRSAllocatorProtect(allocator));
    EXPECT_EQ(test::signalEndingChild([&] { readableData[0] = 1; }), SIGSEGV);
    EXPECT_EQ(readableData[0], 0);  // reads still work
    EXPECT_EQ(test::signalEndingChild([&] { writable[0] = 2; }), 0);
}

}  // namespace
}  // namespace pex
