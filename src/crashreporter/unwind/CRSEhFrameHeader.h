#pragma once
// ".eh_frame_hdr": the linker's sorted table from function start addresses to their frame
// description entries, searched by binary search.
#include <cstdint>

#include "crashreporter/unwind/CRSDwarfCFI.h"

namespace pex {

// Finds the FDE that covers `pc` through the table at `header` and parses it with its CIE
// (keeping `record`'s CIE when it is that one and `reuseParsedCIE` is set). Every read stays
// inside [segmentStart, segmentEnd).
bool CRSEhFrameHeaderFindFDE(std::uintptr_t header, std::uintptr_t segmentStart,
                             std::uintptr_t segmentEnd, std::uintptr_t pc,
                             CRSDwarfCFIRecord* record, CRSDwarfSection* section,
                             bool reuseParsedCIE = false);

}  // namespace pex
