#include "crashreporter/unwind/CRSEhFrameHeader.h"

#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"

namespace pex {

namespace {

constexpr std::uint8_t kDataRelativeSigned4 = 0x3B;

// The common layout: pairs of signed 4-byte offsets from the header. The PC is turned into
// such an offset once, and the search compares the stored words directly. The caller has
// checked that `count` entries lie inside the segment.
bool searchDataRelative(std::uintptr_t table, std::uint64_t count, std::uintptr_t header,
                        std::uintptr_t pc, std::uint64_t* fde) {
    const auto* entries = reinterpret_cast<const std::int32_t*>(table);
    const auto target = static_cast<std::int64_t>(pc - header);
    auto startAt = [&](std::uint64_t index) {
        std::int32_t start;
        std::memcpy(&start, entries + 2 * index, sizeof start);
        return std::int64_t{start};
    };
    // The last entry whose start is at or below the PC.
    std::uint64_t low = 0;
    std::uint64_t length = count;
    while (length > 1) {
        const std::uint64_t half = length / 2;
        if (startAt(low + half) <= target) low += half;
        length -= half;
    }
    if (startAt(low) > target) return false;
    std::int32_t offset;
    std::memcpy(&offset, entries + 2 * low + 1, sizeof offset);
    *fde = header + static_cast<std::uint64_t>(std::int64_t{offset});
    return true;
}

bool searchAnyEncoding(std::uintptr_t table, std::uint64_t count, std::uint8_t encoding,
                       const CRSDwarfSection& section, std::uintptr_t pc, std::uint64_t* fde) {
    const std::size_t entrySize = 2 * CRSDwarfEncodingSize(encoding);
    auto entryAt = [&](std::uint64_t index, std::uint64_t* start, std::uint64_t* record) {
        CRSDwarfCursor entry = CRSDwarfCursorMake(table + index * entrySize, section.end);
        return CRSParseAddressWithEncodingAndAdvance(&entry, encoding, section, start) &&
               CRSParseAddressWithEncodingAndAdvance(&entry, encoding, section, record);
    };
    std::uint64_t low = 0;
    std::uint64_t high = count;
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        std::uint64_t start = 0;
        std::uint64_t record = 0;
        if (!entryAt(middle, &start, &record)) return false;
        if (start <= pc) {
            low = middle;
        } else {
            high = middle;
        }
    }
    std::uint64_t start = 0;
    return entryAt(low, &start, fde) && start <= pc;
}

}  // namespace

bool CRSEhFrameHeaderFindFDE(std::uintptr_t header, std::uintptr_t segmentStart,
                             std::uintptr_t segmentEnd, std::uintptr_t pc,
                             CRSDwarfCFIRecord* record, CRSDwarfSection* section,
                             bool reuseParsedCIE) {
    if (header < segmentStart || header >= segmentEnd) return false;
    *section = CRSDwarfSection{segmentStart, segmentEnd, header};
    CRSDwarfCursor cursor = CRSDwarfCursorMake(header, segmentEnd);
    const std::uint8_t version = CRSParseUint8AndAdvance(&cursor);
    const std::uint8_t frameEncoding = CRSParseUint8AndAdvance(&cursor);
    const std::uint8_t countEncoding = CRSParseUint8AndAdvance(&cursor);
    const std::uint8_t tableEncoding = CRSParseUint8AndAdvance(&cursor);
    std::uint64_t ehFrame = 0;
    std::uint64_t count = 0;
    if (cursor.failed || version != 1 ||
        !CRSParseAddressWithEncodingAndAdvance(&cursor, frameEncoding, *section, &ehFrame) ||
        !CRSParseAddressWithEncodingAndAdvance(&cursor, countEncoding, *section, &count)) {
        CRSSDKLogWarn("Error: unreadable unwind table header\n");
        return false;
    }
    const std::size_t fieldSize = CRSDwarfEncodingSize(tableEncoding);
    const std::size_t entrySize = 2 * fieldSize;
    if (fieldSize == 0 || (tableEncoding & 0x80) != 0 || count == 0 ||
        count > (segmentEnd - cursor.at) / entrySize) {
        CRSSDKLogWarn("Error: unsupported unwind table encoding 0x%x\n", unsigned{tableEncoding});
        return false;
    }
    const std::uintptr_t table = cursor.at;
    std::uint64_t fde = 0;
    const bool found = tableEncoding == kDataRelativeSigned4
                           ? searchDataRelative(table, count, header, pc, &fde)
                           : searchAnyEncoding(table, count, tableEncoding, *section, pc, &fde);
    if (!found) return false;
    if (!CRSDwarfParseCFIFromFDERecord(record, fde, *section, reuseParsedCIE)) return false;
    return pc >= record->fde.startAddress && pc - record->fde.startAddress < record->fde.rangeSize;
}

}  // namespace pex
