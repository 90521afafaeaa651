#include "beacon-core/UTLAppEnvironmentUtil.h"

#include <sys/utsname.h>

#include <atomic>
#include <fstream>

namespace pex {

namespace {

// -1: the platform's answer; 0 / 1: a test's.
std::atomic<int> fromAppStoreOverride{-1};

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::optional<std::string> firstLineOf(const std::string& path) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::string line;
    std::getline(file, line);
    line = trimmed(line);
    if (line.empty()) return std::nullopt;
    return line;
}

// The machine type (such as "x86_64") and the kernel release; empty when uname fails.
struct UnameFacts {
    std::string machine;
    std::string release;
};

UnameFacts unameFacts() {
    utsname info{};
    if (::uname(&info) != 0) return {};
    return {info.machine, info.release};
}

std::optional<std::string> productName() {
    return firstLineOf("/sys/class/dmi/id/product_name");
}

}  // namespace

bool UTLAppEnvironmentUtil::isFromAppStore() {
    const int forced = fromAppStoreOverride.load();
    if (forced >= 0) return forced == 1;
    // Not a simulator, not a sandbox receipt, and an encrypted executable: none of this
    // exists outside the store's own platform, so the answer is always no.
    return false;
}

bool UTLAppEnvironmentUtil::isAppStoreReceiptSandbox() {
    return false;  // no store receipts on this platform
}

std::optional<std::string> UTLAppEnvironmentUtil::getSysctlEntry(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos ||
        name.find("..") != std::string::npos || name.front() == '.')
        return std::nullopt;
    std::string path = "/proc/sys/" + name;
    for (std::size_t i = 10; i < path.size(); ++i)
        if (path[i] == '.') path[i] = '/';
    return firstLineOf(path);
}

std::string UTLAppEnvironmentUtil::deviceModelFrom(const std::optional<std::string>& product,
                                                   const std::string& machine) {
    if (product && !trimmed(*product).empty()) return trimmed(*product);
    return machine;
}

std::string UTLAppEnvironmentUtil::deviceModel() {
    static const std::string model = deviceModelFrom(productName(), unameFacts().machine);
    return model;
}

std::string UTLAppEnvironmentUtil::deviceSimulatorModel() {
    static const std::string model = productName().value_or("");
    return model;
}

std::string UTLAppEnvironmentUtil::systemVersionFromRelease(std::string_view release) {
    long numbers[3] = {0, 0, 0};
    std::size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        if (i >= release.size() || release[i] < '0' || release[i] > '9') break;
        long value = 0;
        while (i < release.size() && release[i] >= '0' && release[i] <= '9') {
            if (value < 100000000) value = value * 10 + (release[i] - '0');
            ++i;
        }
        numbers[part] = value;
        if (i >= release.size() || release[i] != '.') break;
        ++i;
    }
    std::string version = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]);
    if (numbers[2] != 0) version += "." + std::to_string(numbers[2]);
    return version;
}

std::string UTLAppEnvironmentUtil::systemVersion() {
    return systemVersionFromRelease(unameFacts().release);
}

void UTLAppEnvironmentUtil::setFromAppStoreForTesting(std::optional<bool> fromAppStore) {
    fromAppStoreOverride = fromAppStore ? (*fromAppStore ? 1 : 0) : -1;
}

}  // namespace pex
