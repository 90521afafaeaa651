#pragma once
// A file's size as the user reads it: "512 字节", "34 KB", "1.5 MB" (units of 1000).
#include <cstdint>
#include <string>

namespace pex {

// Rounded to the unit: for sizes the user is shown in passing.
std::string fileSizeText(std::uintmax_t bytes);
// Never rounded, for limits the user must stay within: the largest unit that says the
// number exactly with at most two (KB) or three (MB) decimals, else bytes ("1.5 KB",
// "20 MB", "1501 字节").
std::string exactFileSizeText(std::uintmax_t bytes);

}  // namespace pex
