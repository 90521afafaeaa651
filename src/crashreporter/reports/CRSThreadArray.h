#pragma once
// The frames of a report's threads: one entry per thread in file order, frames in stack order.
#include <vector>

#include "crashreporter/BCNStackFrame.h"

namespace pex {

using CRSThreadArray = std::vector<std::vector<BCNStackFrame>>;

}  // namespace pex
