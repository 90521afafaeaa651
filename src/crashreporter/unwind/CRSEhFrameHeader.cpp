#include "crashreporter/unwind/CRSEhFrameHeader.h"

#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"

namespace pex {

namespace {

constexpr std::uint8_t kDataRelativeSigned4 = 0x3B;

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

    auto entryAt = [&](std::uint64_t index, std::uint64_t* start, std::uint64_t* fde) {
        if (tableEncoding == kDataRelativeSigned4) {  // the common layout, read directly
            std::int32_t words[2];
            std::memcpy(words, reinterpret_cast<const void*>(table + index * 8), sizeof words);
            *start = header + static_cast<std::uint64_t>(std::int64_t{words[0]});
            *fde = header + static_cast<std::uint64_t>(std::int64_t{words[1]});
            return true;
        }
        CRSDwarfCursor entry = CRSDwarfCursorMake(table + index * entrySize, segmentEnd);
        return CRSParseAddressWithEncodingAndAdvance(&entry, tableEncoding, *section, start) &&
               CRSParseAddressWithEncodingAndAdvance(&entry, tableEncoding, *section, fde);
    };

    // The last entry whose start is at or below the PC.
    std::uint64_t low = 0;
    std::uint64_t high = count;
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        std::uint64_t start = 0;
        std::uint64_t fde = 0;
        if (!entryAt(middle, &start, &fde)) return false;
        if (start <= pc) {
            low = middle;
        } else {
            high = middle;
        }
    }
    std::uint64_t start = 0;
    std::uint64_t fde = 0;
    if (!entryAt(low, &start, &fde) || start > pc) return false;
    if (!CRSDwarfParseCFIFromFDERecord(record, fde, *section, reuseParsedCIE)) return false;
    return pc >= record->fde.startAddress && pc - record->fde.startAddress < record->fde.rangeSize;
}

}  // namespace pex
