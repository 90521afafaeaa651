#pragma once
// The size of a bench's data set. The CI smoke run (PEXMORA_BENCH_SMOKE set) only shows that a
// bench runs to its end without an error, also under the sanitizers where filling a heavy
// user's data takes minutes, so it uses a twentieth of the data; figures come from full runs.
#include <algorithm>
#include <cstdlib>

namespace pex::bench {

inline int scaled(int full) {
    static const bool smoke = std::getenv("PEXMORA_BENCH_SMOKE") != nullptr;
    return smoke ? std::max(1, full / 20) : full;
}

}  // namespace pex::bench
