#include "crashreporter/unwind/CRSMemoryReader.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

namespace pex {
namespace {

constexpr std::size_t kPage = 4096;

// Three pages of known bytes whose first page can be made unreadable, as a guard page is.
class ThreePages {
  public:
    ThreePages() {
        void* mapping =
            mmap(nullptr, 3 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = mapping == MAP_FAILED ? 0 : reinterpret_cast<std::uintptr_t>(mapping);
        if (base_ != 0) std::memset(mapping, 0x5A, 3 * kPage);
    }
    ~ThreePages() {
        if (base_ != 0) munmap(reinterpret_cast<void*>(base_), 3 * kPage);
    }
    ThreePages(const ThreePages&) = delete;
    ThreePages& operator=(const ThreePages&) = delete;

    std::uintptr_t page(int index) const { return base_ + index * kPage; }
    bool guardFirstPage() const {
        return mprotect(reinterpret_cast<void*>(base_), kPage, PROT_NONE) == 0;
    }

  private:
    std::uintptr_t base_ = 0;
};

bool readWord(CRSMemoryReader* reader, std::uintptr_t address, std::uint64_t* word) {
    *word = 0;
    return CRSMemoryReaderRead(reader, reinterpret_cast<const void*>(address), word, sizeof *word);
}

TEST(CRSMemoryReaderTest, TrustsARangeOnlyOnceItsLowestPageReads) {
    ThreePages pages;
    ASSERT_NE(pages.page(0), 0u);
    ASSERT_TRUE(pages.guardFirstPage());
    std::uint64_t word = 0;

    // A range whose lowest page is readable: reads inside it see the bytes.
    CRSMemoryReader reader;
    CRSMemoryReaderInit(&reader);
    CRSMemoryReaderTrustRange(&reader, pages.page(1), pages.page(3));
    EXPECT_TRUE(readWord(&reader, pages.page(2) + 8, &word));
    EXPECT_EQ(word, 0x5A5A5A5A5A5A5A5Au);
    EXPECT_EQ(reader.trust, CRSMemoryReaderTrust::proven);
    // Reads that leave the range below are checked one by one: the guard page fails cleanly.
    EXPECT_FALSE(readWord(&reader, pages.page(1) - 4, &word));
    EXPECT_FALSE(readWord(&reader, pages.page(0), &word));

    // A range that starts on the guard page is refused at the first read, and every read
    // then goes through the kernel: the guard page fails, the readable pages still read.
    CRSMemoryReaderInit(&reader);
    CRSMemoryReaderTrustRange(&reader, pages.page(0), pages.page(3));
    EXPECT_FALSE(readWord(&reader, pages.page(0) + 16, &word));
    EXPECT_EQ(reader.trust, CRSMemoryReaderTrust::refused);
    EXPECT_TRUE(readWord(&reader, pages.page(1), &word));
    EXPECT_EQ(word, 0x5A5A5A5A5A5A5A5Au);

    // Empty, inverted and first-page ranges vouch for nothing.
    for (const auto& [low, high] :
         {std::pair{pages.page(2), pages.page(1)}, std::pair{pages.page(1), pages.page(1)},
          std::pair{std::uintptr_t{0}, pages.page(1)}}) {
        CRSMemoryReaderInit(&reader);
        CRSMemoryReaderTrustRange(&reader, low, high);
        EXPECT_EQ(reader.trust, CRSMemoryReaderTrust::none);
    }
}

}  // namespace
}  // namespace pex
