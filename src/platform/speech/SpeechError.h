#pragma once
// A failure of the speech layer: configuration, recogniser creation or start of recognition.
#include <string>

namespace pex {

struct SpeechError {
    int code = 0;
    std::string localizedDescription;
};

}  // namespace pex
