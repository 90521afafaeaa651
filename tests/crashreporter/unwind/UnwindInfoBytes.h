#pragma once
// Builds a compact unwind section the way the linker lays it out: the 28-byte header, the
// common encodings, the first-level index (with its closing entry) and the second-level pages.
#include <cstdint>
#include <cstring>
#include <vector>

namespace pex::test {

struct UnwindInfoPage {
    enum class Kind { compressed, regular };
    Kind kind = Kind::compressed;
    std::uint32_t functionOffset = 0;  // first-level function offset, from the image's start
    // Compressed: (offset from functionOffset, encoding index); regular: (offset, encoding).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    std::vector<std::uint32_t> encodings;  // the page's own, indexed after the common ones
};

class UnwindInfoBytes {
  public:
    // `endOffset` closes the last page's range, as the index's final entry does.
    UnwindInfoBytes(const std::vector<std::uint32_t>& common,
                    const std::vector<UnwindInfoPage>& pages, std::uint32_t endOffset) {
        const auto count = static_cast<std::uint32_t>(pages.size() + 1);
        const std::uint32_t commonOffset = 28;
        const auto indexOffset = static_cast<std::uint32_t>(commonOffset + 4 * common.size());
        put({1, commonOffset, static_cast<std::uint32_t>(common.size()), indexOffset, 0,
             indexOffset, count});
        put(common);
        const std::size_t index = bytes_.size();
        bytes_.resize(index + 12 * count, 0);
        for (std::size_t i = 0; i < pages.size(); ++i) {
            set(index + 12 * i, pages[i].functionOffset);
            set(index + 12 * i + 4, static_cast<std::uint32_t>(bytes_.size()));
            page(pages[i]);
        }
        set(index + 12 * pages.size(), endOffset);
    }

    std::uintptr_t address() const { return reinterpret_cast<std::uintptr_t>(bytes_.data()); }
    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    void put(const std::vector<std::uint32_t>& words) {
        for (std::uint32_t word : words) {
            const std::size_t at = bytes_.size();
            bytes_.resize(at + 4);
            set(at, word);
        }
    }
    void put16(std::uint16_t value) {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + 2);
        std::memcpy(bytes_.data() + at, &value, 2);
    }
    void set(std::size_t at, std::uint32_t value) { std::memcpy(bytes_.data() + at, &value, 4); }

    void page(const UnwindInfoPage& page) {
        const auto entryCount = static_cast<std::uint16_t>(page.entries.size());
        if (page.kind == UnwindInfoPage::Kind::regular) {
            put({2});
            put16(8);
            put16(entryCount);
            for (const auto& [offset, encoding] : page.entries) put({offset, encoding});
            return;
        }
        put({3});
        put16(12);
        put16(entryCount);
        put16(static_cast<std::uint16_t>(12 + 4 * entryCount));
        put16(static_cast<std::uint16_t>(page.encodings.size()));
        for (const auto& [offset, index] : page.entries) put({offset | index << 24});
        put(page.encodings);
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace pex::test
