#pragma once
// Why an audio file could not be opened, written or read.
#include <string>

namespace pex {

struct AudioFileError {
    int code = 0;
    std::string localizedDescription;
};

}  // namespace pex
