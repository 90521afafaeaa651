#include "crashreporter/unwind/CRSDwarfReader.h"

#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"

namespace pex {

namespace {

constexpr int kMaxLEB128Bytes = 10;

}  // namespace

std::uint64_t CRSParseULEB128AndAdvanceSlow(CRSDwarfCursor* cursor) {
    std::uint64_t value = 0;
    for (int i = 0; i < kMaxLEB128Bytes; ++i) {
        const std::uint8_t byte = CRSParseUint8AndAdvance(cursor);
        if (cursor->failed) return 0;
        if (i < 9 || (byte & 0x7E) == 0) value |= std::uint64_t{byte & 0x7Fu} << (7 * i);
        if ((byte & 0x80) == 0) return value;
    }
    cursor->failed = true;
    return 0;
}

std::int64_t CRSParseLEB128AndAdvance(CRSDwarfCursor* cursor) {
    std::uint64_t value = 0;
    for (int i = 0; i < kMaxLEB128Bytes; ++i) {
        const std::uint8_t byte = CRSParseUint8AndAdvance(cursor);
        if (cursor->failed) return 0;
        const int shift = 7 * i;
        if (shift < 64) value |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) {
            if (shift + 7 < 64 && (byte & 0x40) != 0) value |= ~std::uint64_t{0} << (shift + 7);
            return static_cast<std::int64_t>(value);
        }
    }
    cursor->failed = true;
    return 0;
}

const char* CRSParseStringAndAdvance(CRSDwarfCursor* cursor) {
    if (cursor->failed || cursor->at >= cursor->end) {
        cursor->failed = true;
        return nullptr;
    }
    const auto* start = reinterpret_cast<const char*>(cursor->at);
    const void* zero = std::memchr(start, '\0', cursor->end - cursor->at);
    if (zero == nullptr) {
        cursor->failed = true;
        return nullptr;
    }
    cursor->at = reinterpret_cast<std::uintptr_t>(zero) + 1;
    return start;
}

bool CRSParseAddressWithEncodingAndAdvanceSlow(CRSDwarfCursor* cursor, std::uint8_t encoding,
                                               const CRSDwarfSection& section, std::uint64_t* out) {
    *out = 0;
    if (encoding == kCRSDwarfEncodingOmit) return false;
    const std::uintptr_t fieldAddress = cursor->at;
    std::uint64_t value;
    switch (encoding & 0x0F) {
        case 0x00:
        case 0x04:
        case 0x0C:
            value = CRSParseUint64AndAdvance(cursor);
            break;
        case 0x01:
            value = CRSParseULEB128AndAdvance(cursor);
            break;
        case 0x02:
            value = CRSParseUint16AndAdvance(cursor);
            break;
        case 0x03:
            value = CRSParseUint32AndAdvance(cursor);
            break;
        case 0x09:
            value = static_cast<std::uint64_t>(CRSParseLEB128AndAdvance(cursor));
            break;
        case 0x0A:
            value = static_cast<std::uint64_t>(std::int64_t{CRSParseInt16AndAdvance(cursor)});
            break;
        case 0x0B:
            value = static_cast<std::uint64_t>(std::int64_t{CRSParseInt32AndAdvance(cursor)});
            break;
        default:
            CRSSDKLogWarn("Unhandled: encoding 0x%x\n", encoding);
            return false;
    }
    if (cursor->failed) return false;
    switch (encoding & 0x70) {
        case 0x00:
            break;
        case 0x10:
            value += fieldAddress;
            break;
        case 0x30:
            if (section.dataBase == 0) return false;
            value += section.dataBase;
            break;
        default:
            CRSSDKLogWarn("Unhandled: relative encoding 0x%x\n", encoding);
            return false;
    }
    if ((encoding & 0x80) != 0) {
        std::uint64_t target = 0;
        if (!CRSReadMemory(reinterpret_cast<const void*>(value), &target, sizeof target)) {
            return false;
        }
        value = target;
    }
    *out = value;
    return true;
}

}  // namespace pex
