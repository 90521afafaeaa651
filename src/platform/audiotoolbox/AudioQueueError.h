#pragma once
// Why an input queue could not be made, could not start, or died while recording.
#include <string>

namespace pex {

struct AudioQueueError {
    int status = 0;                    // the backend's own error code
    std::string localizedDescription;  // a sentence for the console

    bool operator==(const AudioQueueError&) const = default;
};

}  // namespace pex
