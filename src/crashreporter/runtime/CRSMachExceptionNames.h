#pragma once
// Names of Mach exception types and of their first codes, as written into a Mach exception
// record. Safe inside a crash handler: it only hands out constant texts.
#include <cstdint>

namespace pex {

// Sets *name to the type's name and *codeName to the first code's name, each none (null) when
// the table has no entry. A null output pointer is left alone.
void CRSMachExceptionLookupNames(std::int32_t type, std::int64_t firstCode, const char** name,
                                 const char** codeName);

}  // namespace pex
