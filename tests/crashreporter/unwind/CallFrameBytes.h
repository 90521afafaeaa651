#pragma once
// Hand-assembled call-frame records for the unwinder's tests: a byte buffer with helpers for
// the DWARF number forms, and the records' usual layouts.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "crashreporter/unwind/CRSDwarfReader.h"

namespace pex::test {

class CallFrameBytes {
  public:
    CallFrameBytes() { bytes_.reserve(4096); }  // addresses stay put while records are added

    std::size_t size() const { return bytes_.size(); }
    std::uintptr_t address(std::size_t offset = 0) const {
        return reinterpret_cast<std::uintptr_t>(bytes_.data()) + offset;
    }
    CRSDwarfSection section(std::uintptr_t dataBase = 0) const {
        return CRSDwarfSection{address(), address(size()), dataBase};
    }

    CallFrameBytes& u8(std::initializer_list<int> values) {
        for (int v : values) bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    CallFrameBytes& u32(std::uint32_t v) { return little(v, 4); }
    CallFrameBytes& u64(std::uint64_t v) { return little(v, 8); }
    CallFrameBytes& uleb(std::uint64_t v) {
        do {
            std::uint8_t byte = v & 0x7F;
            v >>= 7;
            if (v != 0) byte |= 0x80;
            bytes_.push_back(byte);
        } while (v != 0);
        return *this;
    }
    CallFrameBytes& sleb(std::int64_t v) {
        bool more = true;
        while (more) {
            std::uint8_t byte = v & 0x7F;
            v >>= 7;
            more = !((v == 0 && !(byte & 0x40)) || (v == -1 && (byte & 0x40)));
            if (more) byte |= 0x80;
            bytes_.push_back(byte);
        }
        return *this;
    }
    CallFrameBytes& text(const std::string& s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        bytes_.push_back(0);
        return *this;
    }
    CallFrameBytes& raw(const std::vector<std::uint8_t>& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    void patch32(std::size_t offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    // A version-1 CIE (code factor 1, data factor -8, return address register 16) with the
    // given augmentation, its data, and initial instructions; returns its offset.
    std::size_t cie(const std::string& augmentation, const std::vector<std::uint8_t>& data,
                    const std::vector<std::uint8_t>& instructions) {
        const std::size_t start = size();
        u32(0).u32(0).u8({1}).text(augmentation).uleb(1).sleb(-8).u8({16});
        if (!augmentation.empty() && augmentation[0] == 'z') uleb(data.size()).raw(data);
        raw(instructions);
        patch32(start, static_cast<std::uint32_t>(size() - start - 4));
        return start;
    }
    // The usual CIE: "zR" with absolute 8-byte addresses, CFA = rsp + 8, return address at CFA - 8.
    std::size_t standardCIE() { return cie("zR", {0x00}, {0x0C, 0x07, 0x08, 0x90, 0x01}); }

    // An FDE for [start, start + range) in the absolute 8-byte encoding; returns its offset.
    std::size_t fde(std::size_t cieOffset, std::uint64_t start, std::uint64_t range,
                    const std::vector<std::uint8_t>& instructions, bool augmentationData = true) {
        const std::size_t at = size();
        u32(0);
        u32(static_cast<std::uint32_t>(size() - cieOffset));
        u64(start).u64(range);
        if (augmentationData) uleb(0);
        raw(instructions);
        patch32(at, static_cast<std::uint32_t>(size() - at - 4));
        return at;
    }

  private:
    CallFrameBytes& little(std::uint64_t v, int count) {
        for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    std::vector<std::uint8_t> bytes_;
};

}  // namespace pex::test
