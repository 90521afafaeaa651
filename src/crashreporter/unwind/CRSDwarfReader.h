#pragma once
// Little-endian readers for call-frame data. Every read stays inside the cursor's bounds (the
// mapped segment that holds the unwind tables): a read that would leave them reads nothing,
// answers 0 and marks the cursor failed, so later reads fail too.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pex {

struct CRSDwarfCursor {
    std::uintptr_t at;
    std::uintptr_t end;
    bool failed;
};

inline CRSDwarfCursor CRSDwarfCursorMake(std::uintptr_t start, std::uintptr_t end) {
    return CRSDwarfCursor{start, end, start > end};
}

// Where the data-relative pointer encoding counts from: the start of ".eh_frame_hdr".
struct CRSDwarfSection {
    std::uintptr_t start;  // bounds of every read
    std::uintptr_t end;
    std::uintptr_t dataBase;
};

inline constexpr std::uint8_t kCRSDwarfEncodingOmit = 0xFF;

// Copies `size` bytes at the cursor when they lie inside its bounds. Inline: the unwinder
// reads a few dozen small values per frame.
inline bool CRSDwarfCursorTake(CRSDwarfCursor* cursor, void* out, std::size_t size) {
    if (cursor->failed || cursor->at > cursor->end || size > cursor->end - cursor->at) {
        cursor->failed = true;
        std::memset(out, 0, size);
        return false;
    }
    std::memcpy(out, reinterpret_cast<const void*>(cursor->at), size);
    cursor->at += size;
    return true;
}

template <typename T>
inline T CRSDwarfCursorParse(CRSDwarfCursor* cursor) {
    T value;
    CRSDwarfCursorTake(cursor, &value, sizeof value);
    return value;
}

inline std::uint8_t CRSParseUint8AndAdvance(CRSDwarfCursor* cursor) {
    if (!cursor->failed && cursor->at < cursor->end) {
        return *reinterpret_cast<const std::uint8_t*>(cursor->at++);
    }
    cursor->failed = true;
    return 0;
}
inline std::uint16_t CRSParseUint16AndAdvance(CRSDwarfCursor* c) {
    return CRSDwarfCursorParse<std::uint16_t>(c);
}
inline std::int16_t CRSParseInt16AndAdvance(CRSDwarfCursor* c) {
    return CRSDwarfCursorParse<std::int16_t>(c);
}
inline std::uint32_t CRSParseUint32AndAdvance(CRSDwarfCursor* c) {
    return CRSDwarfCursorParse<std::uint32_t>(c);
}
inline std::int32_t CRSParseInt32AndAdvance(CRSDwarfCursor* c) {
    return CRSDwarfCursorParse<std::int32_t>(c);
}
inline std::uint64_t CRSParseUint64AndAdvance(CRSDwarfCursor* c) {
    return CRSDwarfCursorParse<std::uint64_t>(c);
}

// LEB128 values take at most 10 bytes; a longer one fails the cursor.
std::uint64_t CRSParseULEB128AndAdvanceSlow(CRSDwarfCursor* cursor);
inline std::uint64_t CRSParseULEB128AndAdvance(CRSDwarfCursor* cursor) {
    // Most values in call-frame data fit one byte.
    if (!cursor->failed && cursor->at < cursor->end) {
        const std::uint8_t byte = *reinterpret_cast<const std::uint8_t*>(cursor->at);
        if ((byte & 0x80) == 0) {
            cursor->at += 1;
            return byte;
        }
    }
    return CRSParseULEB128AndAdvanceSlow(cursor);
}
std::int64_t CRSParseLEB128AndAdvance(CRSDwarfCursor* cursor);
// A zero-terminated string inside the bounds; null (and a failed cursor) when there is none.
const char* CRSParseStringAndAdvance(CRSDwarfCursor* cursor);
// A 32-bit length, or the 64-bit length that follows the escape 0xFFFFFFFF.
inline std::uint64_t CRSParseRecordLengthAndAdvance(CRSDwarfCursor* cursor) {
    const std::uint32_t length = CRSParseUint32AndAdvance(cursor);
    if (length != 0xFFFFFFFF) return length;
    return CRSParseUint64AndAdvance(cursor);
}
// A pointer in one of the exception-frame encodings: absolute, relative to the field (pc) or
// to the section's data base (data), optionally indirect. False for an encoding this reader
// does not know, a failed read, or the omit encoding (which reads nothing).
bool CRSParseAddressWithEncodingAndAdvanceSlow(CRSDwarfCursor* cursor, std::uint8_t encoding,
                                               const CRSDwarfSection& section, std::uint64_t* out);
inline bool CRSParseAddressWithEncodingAndAdvance(CRSDwarfCursor* cursor, std::uint8_t encoding,
                                                  const CRSDwarfSection& section,
                                                  std::uint64_t* out) {
    // The compilers' usual choices, read inline: a pc-relative signed 4-byte start and an
    // unsigned 4-byte length.
    if (encoding == 0x1B || encoding == 0x0B || encoding == 0x03) {
        const std::uintptr_t field = cursor->at;
        std::uint64_t value =
            encoding == 0x03
                ? std::uint64_t{CRSParseUint32AndAdvance(cursor)}
                : static_cast<std::uint64_t>(std::int64_t{CRSParseInt32AndAdvance(cursor)});
        if (encoding == 0x1B) value += field;
        *out = cursor->failed ? 0 : value;
        return !cursor->failed;
    }
    return CRSParseAddressWithEncodingAndAdvanceSlow(cursor, encoding, section, out);
}
// The size of a fixed-size encoding's value, 0 for variable or unknown ones.
inline std::size_t CRSDwarfEncodingSize(std::uint8_t encoding) {
    switch (encoding & 0x0F) {
        case 0x00:
        case 0x04:
        case 0x0C:
            return 8;
        case 0x02:
        case 0x0A:
            return 2;
        case 0x03:
        case 0x0B:
            return 4;
        default:
            return 0;
    }
}

}  // namespace pex
