#pragma once
// Builders for small Mach-O and universal files, written the way the tools lay them out.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pex::test {

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& out, std::uint32_t value) {
    std::uint8_t raw[4];
    std::memcpy(raw, &value, 4);  // host order, as a native header is written
    out.insert(out.end(), raw, raw + 4);
}

inline void putBig32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

inline void set32(Bytes& out, std::size_t at, std::uint32_t value) {
    std::memcpy(out.data() + at, &value, 4);
}

inline Bytes uuidCommand(std::uint8_t fill) {
    Bytes out;
    put32(out, 27);
    put32(out, 24);
    for (int i = 0; i < 16; ++i) {
        out.push_back(static_cast<std::uint8_t>(fill + i));
    }
    return out;
}

inline Bytes dylibCommand(const std::string& name) {
    Bytes out;
    const std::uint32_t size = static_cast<std::uint32_t>((24 + name.size() + 1 + 7) / 8 * 8);
    put32(out, 12);
    put32(out, size);
    put32(out, 24);  // name offset
    put32(out, 2);   // timestamp
    put32(out, 0x10000);
    put32(out, 0x10000);
    out.insert(out.end(), name.begin(), name.end());
    out.resize(size, 0);
    return out;
}

inline Bytes versionMinCommand(std::uint32_t type, std::uint32_t minimum, std::uint32_t sdk) {
    Bytes out;
    put32(out, type);
    put32(out, 16);
    put32(out, minimum);
    put32(out, sdk);
    return out;
}

// A 64-bit (or 32-bit) header followed by the commands; the counts are those of the commands.
inline Bytes machO(std::uint32_t cputype, std::uint32_t cpusubtype,
                   const std::vector<Bytes>& commands, bool is64 = true) {
    Bytes body;
    for (const auto& command : commands) {
        body.insert(body.end(), command.begin(), command.end());
    }
    Bytes out;
    put32(out, is64 ? 0xFEEDFACF : 0xFEEDFACE);
    put32(out, cputype);
    put32(out, cpusubtype);
    put32(out, 2);  // executable
    put32(out, static_cast<std::uint32_t>(commands.size()));
    put32(out, static_cast<std::uint32_t>(body.size()));
    put32(out, 0);
    if (is64) {
        put32(out, 0);
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A universal file; slices start at 256-byte boundaries in the order given.
inline Bytes fat(const std::vector<Bytes>& slices) {
    Bytes out;
    putBig32(out, 0xCAFEBABE);
    putBig32(out, static_cast<std::uint32_t>(slices.size()));
    std::uint32_t offset = 256;
    std::vector<std::uint32_t> offsets;
    for (const auto& slice : slices) {
        std::uint32_t cputype;
        std::uint32_t cpusubtype;
        std::memcpy(&cputype, slice.data() + 4, 4);
        std::memcpy(&cpusubtype, slice.data() + 8, 4);
        putBig32(out, cputype);
        putBig32(out, cpusubtype);
        putBig32(out, offset);
        putBig32(out, static_cast<std::uint32_t>(slice.size()));
        putBig32(out, 8);
        offsets.push_back(offset);
        offset += static_cast<std::uint32_t>((slice.size() + 255) / 256 * 256);
    }
    out.resize(offset, 0);
    for (std::size_t i = 0; i < slices.size(); ++i) {
        std::memcpy(out.data() + offsets[i], slices[i].data(), slices[i].size());
    }
    return out;
}

}  // namespace pex::test
