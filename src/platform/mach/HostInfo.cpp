#include "platform/mach/HostInfo.h"

#include <unistd.h>

namespace pex {

std::size_t HostInfo::pageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

}  // namespace pex
