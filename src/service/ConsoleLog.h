#pragma once
// The application's console lines: one line to standard output, flushed at once so lines
// from different threads do not interleave mid-line.
#include <string_view>

namespace pex {

void consoleLog(std::string_view line);

}  // namespace pex
