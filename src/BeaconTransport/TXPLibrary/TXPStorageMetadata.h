#pragma once
// The storage's current size and its limit, as the metrics report them.
#include <cstdint>

namespace pex {

struct TXPStorageMetadata {
    std::uint64_t currentCacheSize = 0;
    std::uint64_t maxCacheSize = 0;
    bool operator==(const TXPStorageMetadata&) const = default;
};

}  // namespace pex
