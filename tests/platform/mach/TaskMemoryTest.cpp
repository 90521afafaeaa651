#include "platform/mach/TaskMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace pex {
namespace {

using ReadFunction = bool (*)(const void*, void*, std::size_t);

class TaskMemoryTest : public ::testing::TestWithParam<ReadFunction> {
  protected:
    void SetUp() override {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        // A readable page followed by an inaccessible one.
        void* mapping =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(mapping, MAP_FAILED);
        mapping_ = static_cast<char*>(mapping);
        ASSERT_EQ(mprotect(mapping_ + page_, page_, PROT_NONE), 0);
        for (std::size_t i = 0; i < page_; ++i) mapping_[i] = static_cast<char>(i * 7);
    }
    void TearDown() override { munmap(mapping_, 2 * page_); }

    std::size_t page_ = 0;
    char* mapping_ = nullptr;
};

TEST_P(TaskMemoryTest, CopiesReadableMemoryAcrossSeveralChunks) {
    std::vector<char> source(3 * 4096 + 17);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i % 251);
    std::vector<char> copy(source.size(), 0);
    ASSERT_TRUE(GetParam()(source.data(), copy.data(), source.size()));
    EXPECT_EQ(copy, source);
}

TEST_P(TaskMemoryTest, RefusesAnInaccessiblePageAndARangeRunningIntoIt) {
    char copy[64];
    EXPECT_FALSE(GetParam()(mapping_ + page_, copy, 8));
    EXPECT_FALSE(GetParam()(mapping_ + page_ - 4, copy, 8));
    EXPECT_TRUE(GetParam()(mapping_ + page_ - 8, copy, 8));
    EXPECT_EQ(std::memcmp(copy, mapping_ + page_ - 8, 8), 0);
}

TEST_P(TaskMemoryTest, RefusesUnmappedMemory) {
    char copy[8];
    EXPECT_FALSE(GetParam()(reinterpret_cast<const void*>(8), copy, sizeof copy));
}

INSTANTIATE_TEST_SUITE_P(KernelAndPipe, TaskMemoryTest,
                         ::testing::Values(&TaskMemory::read, &TaskMemory::readThroughPipe),
                         [](const auto& info) { return info.index == 0 ? "Kernel" : "Pipe"; });

}  // namespace
}  // namespace pex
