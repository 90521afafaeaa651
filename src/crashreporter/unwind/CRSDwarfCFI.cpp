#include "crashreporter/unwind/CRSDwarfCFI.h"

#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"

namespace pex {

namespace {

// The end of a record whose length field was just read, when it lies inside the section.
bool recordEnd(const CRSDwarfCursor& cursor, std::uint64_t length, std::uintptr_t* end) {
    if (cursor.failed || length > cursor.end - cursor.at) return false;
    *end = cursor.at + length;
    return true;
}

}  // namespace

bool CRSDwarfParseCIERecord(CRSDwarfCIERecord* cie, std::uintptr_t address,
                            const CRSDwarfSection& section) {
    std::memset(cie, 0, sizeof *cie);
    if (address < section.start || address >= section.end) return false;
    cie->address = address;
    CRSDwarfCursor cursor = CRSDwarfCursorMake(address, section.end);
    cie->length = CRSParseRecordLengthAndAdvance(&cursor);
    std::uintptr_t end = 0;
    if (cie->length == 0 || !recordEnd(cursor, cie->length, &end)) {
        CRSSDKLogWarn("Error: CIE length invalid\n");
        return false;
    }
    cursor.end = end;
    if (CRSParseUint32AndAdvance(&cursor) != 0) CRSSDKLogWarn("Error: CIE flag not found\n");
    cie->version = CRSParseUint8AndAdvance(&cursor);
    cie->augmentation = CRSParseStringAndAdvance(&cursor);
    cie->codeAlignFactor = CRSParseULEB128AndAdvance(&cursor);
    cie->dataAlignFactor = CRSParseLEB128AndAdvance(&cursor);
    if (cie->version != 1 && cie->version != 3) {
        CRSSDKLogWarn("Error: CIE version %u unsupported\n", unsigned{cie->version});
        return false;
    }
    cie->returnAddressRegister =
        cie->version == 3 ? CRSParseULEB128AndAdvance(&cursor) : CRSParseUint8AndAdvance(&cursor);
    cie->pointerEncoding = 0;  // absolute unless 'R' says otherwise
    cie->lsdaEncoding = kCRSDwarfEncodingOmit;
    cie->personalityEncoding = kCRSDwarfEncodingOmit;
    if (cursor.failed || cie->augmentation == nullptr) return false;

    const char* letter = cie->augmentation;
    if (*letter != '\0') {
        if (*letter != 'z') {
            CRSSDKLogWarn("Error: Unimplemented: augmentation string %s\n", cie->augmentation);
            return false;
        }
        cie->hasAugmentationData = true;
        const std::uint64_t dataLength = CRSParseULEB128AndAdvance(&cursor);
        if (cursor.failed || dataLength > cursor.end - cursor.at) return false;
        CRSDwarfCursor data = CRSDwarfCursorMake(cursor.at, cursor.at + dataLength);
        for (++letter; *letter != '\0'; ++letter) {
            switch (*letter) {
                case 'L':
                    cie->lsdaEncoding = CRSParseUint8AndAdvance(&data);
                    break;
                case 'P':
                    cie->personalityEncoding = CRSParseUint8AndAdvance(&data);
                    // Unwinding never calls the personality routine: its pointer is taken as
                    // it stands, without following an indirect one into another segment.
                    if (!CRSParseAddressWithEncodingAndAdvance(
                            &data, cie->personalityEncoding & 0x7F, section,
                            &cie->personalityFunction)) {
                        CRSSDKLogWarn("Error: Found an invalid start address\n");
                        return false;
                    }
                    break;
                case 'R':
                    cie->pointerEncoding = CRSParseUint8AndAdvance(&data);
                    break;
                case 'S':
                    cie->signalFrame = true;
                    break;
                default:
                    CRSSDKLogWarn("Error: Unhandled augmentation string entry %c\n", *letter);
                    return false;
            }
            if (data.failed) return false;
        }
        cursor.at += dataLength;
    }
    cie->instructionsStart = cursor.at;
    cie->instructionsEnd = end;
    return !cursor.failed;
}

bool CRSDwarfParseFDERecord(CRSDwarfFDERecord* fde, bool parseCIE, CRSDwarfCIERecord* cie,
                            std::uintptr_t address, const CRSDwarfSection& section,
                            bool reuseParsedCIE) {
    std::memset(fde, 0, sizeof *fde);
    if (address < section.start || address >= section.end) return false;
    CRSDwarfCursor cursor = CRSDwarfCursorMake(address, section.end);
    fde->length = CRSParseRecordLengthAndAdvance(&cursor);
    std::uintptr_t end = 0;
    if (fde->length == 0 || !recordEnd(cursor, fde->length, &end)) {
        CRSSDKLogWarn("Error: FDE has zero length\n");
        return false;
    }
    cursor.end = end;
    const std::uintptr_t cieOffsetField = cursor.at;
    fde->cieOffset = CRSParseUint32AndAdvance(&cursor);
    if (fde->cieOffset == 0 || fde->cieOffset > cieOffsetField - section.start) {
        CRSSDKLogWarn("Error: CIE offset invalid\n");
        return false;
    }
    const std::uintptr_t cieAddress = cieOffsetField - fde->cieOffset;
    const bool alreadyParsed = reuseParsedCIE && cie->length != 0 && cie->address == cieAddress;
    if (parseCIE && !alreadyParsed && !CRSDwarfParseCIERecord(cie, cieAddress, section)) {
        CRSSDKLogWarn("Error: Unable to parse CIE record\n");
        return false;
    }
    if (cie->length == 0 || (cie->version != 1 && cie->version != 3)) {
        CRSSDKLogWarn("Error: CIE invalid\n");
        return false;
    }
    if (!CRSParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding, section,
                                               &fde->startAddress)) {
        CRSSDKLogWarn("Error: Found an invalid start address\n");
        return false;
    }
    if (!CRSParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding & 0x0F, section,
                                               &fde->rangeSize)) {
        CRSSDKLogWarn("Error: Found an invalid address range\n");
        return false;
    }
    if (cie->hasAugmentationData) {
        const std::uint64_t skip = CRSParseULEB128AndAdvance(&cursor);
        if (cursor.failed || skip > cursor.end - cursor.at) return false;
        cursor.at += skip;
    }
    fde->instructionsStart = cursor.at;
    fde->instructionsEnd = end;
    return !cursor.failed;
}

bool CRSDwarfParseCFIFromFDERecord(CRSDwarfCFIRecord* record, std::uintptr_t fdeAddress,
                                   const CRSDwarfSection& section, bool reuseParsedCIE) {
    return CRSDwarfParseFDERecord(&record->fde, true, &record->cie, fdeAddress, section,
                                  reuseParsedCIE);
}

}  // namespace pex
