#pragma once
// A file's size as the user reads it: "512 字节", "34 KB", "1.5 MB" (units of 1000).
#include <cstdint>
#include <string>

namespace pex {

std::string fileSizeText(std::uintmax_t bytes);

}  // namespace pex
