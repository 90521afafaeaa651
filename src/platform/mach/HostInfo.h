#pragma once
// Facts about the machine the process runs on. Each text is nothing when the system does not
// tell; none of these is for a signal handler except `pageSize`'s value once read.
#include <cstddef>
#include <optional>
#include <string>

namespace pex {

class HostInfo {
  public:
    // The system's memory page size (`sysconf`), whatever it is on this machine.
    static std::size_t pageSize();
    // Clock ticks per second of the kernel's process times (`sysconf`).
    static long clockTicksPerSecond();

    // The processor architecture the kernel reports ("x86_64").
    static std::optional<std::string> machine();
    // The kernel's release ("6.1.0-18-amd64").
    static std::optional<std::string> kernelRelease();
    // The processor's brand text ("model name" in /proc/cpuinfo).
    static std::optional<std::string> cpuBrand();
    // The product name the firmware gives the machine (DMI), or the host name without it.
    static std::optional<std::string> model();
    // The operating system's version ("VERSION_ID" of /etc/os-release, "12" on Debian 12).
    static std::optional<std::string> osVersion();
    // The user's locale identifier from the environment ("zh_CN"; "en_US_POSIX" for C/POSIX).
    static std::string localeIdentifier();

    // Readers of the files above, for tests.
    static std::optional<std::string> cpuBrandFrom(const std::string& cpuinfo);
    static std::optional<std::string> osVersionFrom(const std::string& osRelease);
};

}  // namespace pex
