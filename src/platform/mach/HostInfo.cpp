#include "platform/mach/HostInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace pex {

namespace {

std::optional<std::string> fileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string trimmed(std::string text) {
    const char* blanks = " \t\r\n\"'";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The value of the first "key<separator>value" line.
std::optional<std::string> lineValue(const std::string& text, const std::string& key,
                                     char separator) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(separator);
        if (at == std::string::npos || trimmed(line.substr(0, at)) != key) continue;
        std::string value = trimmed(line.substr(at + 1));
        if (value.empty()) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

std::optional<utsname> kernelNames() {
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return names;
}

}  // namespace

std::size_t HostInfo::pageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

long HostInfo::clockTicksPerSecond() {
    const long ticks = sysconf(_SC_CLK_TCK);
    return ticks > 0 ? ticks : 100;
}

std::optional<std::string> HostInfo::machine() {
    const auto names = kernelNames();
    if (!names) return std::nullopt;
    return std::string(names->machine);
}

std::optional<std::string> HostInfo::kernelRelease() {
    const auto names = kernelNames();
    if (!names) return std::nullopt;
    return std::string(names->release);
}

std::optional<std::string> HostInfo::cpuBrandFrom(const std::string& cpuinfo) {
    return lineValue(cpuinfo, "model name", ':');
}

std::optional<std::string> HostInfo::cpuBrand() {
    const auto cpuinfo = fileText("/proc/cpuinfo");
    return cpuinfo ? cpuBrandFrom(*cpuinfo) : std::nullopt;
}

std::optional<std::string> HostInfo::model() {
    if (const auto product = fileText("/sys/class/dmi/id/product_name")) {
        std::string name = trimmed(*product);
        if (!name.empty()) return name;
    }
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') return std::string(host);
    return std::nullopt;
}

std::optional<std::string> HostInfo::osVersionFrom(const std::string& osRelease) {
    return lineValue(osRelease, "VERSION_ID", '=');
}

std::optional<std::string> HostInfo::osVersion() {
    const auto release = fileText("/etc/os-release");
    return release ? osVersionFrom(*release) : std::nullopt;
}

std::string HostInfo::localeIdentifier() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || value[0] == '\0') continue;
        std::string name(value);
        name = name.substr(0, name.find_first_of(".@"));
        if (name == "C" || name == "POSIX") break;
        return name;
    }
    return "en_US_POSIX";
}

}  // namespace pex
