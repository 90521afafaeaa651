#pragma once
// Facts about the own process from the kernel's "/proc/self/status", read with plain `read`
// into a stack buffer so the check allocates nothing.
#include <cstddef>
#include <optional>

namespace pex {

class ProcessStatus {
  public:
    // The process id of the tracer (a debugger) of this process, 0 when none; nothing when
    // the status cannot be read.
    static std::optional<long> tracerPid();

    // The value of the "TracerPid:" line in a status text; nothing when the line is missing
    // or holds no number.
    static std::optional<long> parseTracerPid(const char* text, std::size_t length);
};

}  // namespace pex
