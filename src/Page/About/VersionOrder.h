#pragma once
// Orders two version texts such as "1.2.10" and "1.2.9" part by part: parts that are whole
// numbers compare as numbers, missing trailing parts count as 0 ("1.2" equals "1.2.0"), and
// any other part compares as text. Surrounding blanks and a leading "v" or "V" are ignored.
#include <compare>
#include <string_view>

namespace pex {

std::strong_ordering compareVersions(std::string_view left, std::string_view right);

}  // namespace pex
