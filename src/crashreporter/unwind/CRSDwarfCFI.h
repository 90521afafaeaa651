#pragma once
// Common information entries (CIE) and frame description entries (FDE) of ".eh_frame": the
// records that say how to find a function's caller. Parsed in place, every read bounded by
// the section, nothing allocated.
#include <cstdint>

#include "crashreporter/unwind/CRSDwarfReader.h"

namespace pex {

struct CRSDwarfCIERecord {
    std::uintptr_t address;  // where the record starts
    std::uint64_t length;
    std::uint8_t version;
    const char* augmentation;
    std::uint8_t pointerEncoding;
    std::uint8_t lsdaEncoding;
    std::uint8_t personalityEncoding;
    std::uint64_t personalityFunction;
    std::uint64_t codeAlignFactor;
    std::int64_t dataAlignFactor;
    std::uint64_t returnAddressRegister;
    bool signalFrame;
    bool hasAugmentationData;
    std::uintptr_t instructionsStart;
    std::uintptr_t instructionsEnd;
};

struct CRSDwarfFDERecord {
    std::uint64_t length;
    std::uint32_t cieOffset;
    std::uint64_t startAddress;
    std::uint64_t rangeSize;
    std::uintptr_t instructionsStart;
    std::uintptr_t instructionsEnd;
};

struct CRSDwarfCFIRecord {
    CRSDwarfCIERecord cie;
    CRSDwarfFDERecord fde;
};

bool CRSDwarfParseCIERecord(CRSDwarfCIERecord* cie, std::uintptr_t address,
                            const CRSDwarfSection& section);
// Parses the FDE at `address` and, when `parseCIE`, the CIE it names into `cie` (whose pointer
// encoding the FDE's addresses use). With `reuseParsedCIE`, a `cie` already parsed from the
// same address is kept as it is: consecutive frames mostly share one.
bool CRSDwarfParseFDERecord(CRSDwarfFDERecord* fde, bool parseCIE, CRSDwarfCIERecord* cie,
                            std::uintptr_t address, const CRSDwarfSection& section,
                            bool reuseParsedCIE = false);
bool CRSDwarfParseCFIFromFDERecord(CRSDwarfCFIRecord* record, std::uintptr_t fdeAddress,
                                   const CRSDwarfSection& section, bool reuseParsedCIE = false);

}  // namespace pex
