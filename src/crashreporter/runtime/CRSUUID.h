#pragma once
// Identifier helpers: new random identifiers, their normal form, and masking an identifier
// inside a message before it is logged.
#include <cstdint>
#include <string>
#include <string_view>

namespace pex {

// Masks the first identifier in parentheses: the first "(" whose next ")" is exactly 37
// characters after it. Every character between them other than "-" becomes "*". Changes the
// buffer in place; allocates nothing.
void CRSRedactUUID(char* text);
// The identifier without "-", in lower case.
std::string CRSNormalizeUUID(std::string_view uuid);
// A new random (version 4) identifier in the standard text form: 36 characters, upper-case
// hex digits with hyphens.
std::string CRSNewUUIDString();
// `CRSNewUUIDString`, normalised.
std::string CRSGenerateNormalizedUUID();
// 16 bytes as 32 lowercase hex digits, no hyphens.
std::string CRSUUIDBytesToHexString(const std::uint8_t* bytes);

}  // namespace pex
