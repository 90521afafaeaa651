#pragma once
// Facts about the machine the process runs on.
#include <cstddef>

namespace pex {

class HostInfo {
  public:
    // The system's memory page size (`sysconf`), whatever it is on this machine.
    static std::size_t pageSize();
};

}  // namespace pex
