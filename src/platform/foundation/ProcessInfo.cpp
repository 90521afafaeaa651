#include "platform/foundation/ProcessInfo.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

namespace pex {

namespace {

// /proc/self/cmdline holds the arguments, each ended by a NUL.
std::vector<std::string> readCommandLine() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\0', start);
        if (end == std::string::npos) end = content.size();
        arguments.emplace_back(content, start, end - start);
        start = end + 1;
    }
    return arguments;
}

struct Arguments {
    std::mutex mutex;
    std::optional<std::vector<std::string>> read;
    std::optional<std::vector<std::string>> replaced;
};

Arguments& state() {
    static auto* arguments = new Arguments;
    return *arguments;
}

}  // namespace

std::vector<std::string> ProcessInfo::arguments() {
    Arguments& shared = state();
    std::lock_guard lock(shared.mutex);
    if (shared.replaced) return *shared.replaced;
    if (!shared.read) shared.read = readCommandLine();
    return *shared.read;
}

bool ProcessInfo::hasArgument(const std::string& argument) {
    const auto all = arguments();
    return std::find(all.begin(), all.end(), argument) != all.end();
}

std::optional<std::string> ProcessInfo::environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

void ProcessInfo::setArgumentsForTesting(std::optional<std::vector<std::string>> arguments) {
    Arguments& shared = state();
    std::lock_guard lock(shared.mutex);
    shared.replaced = std::move(arguments);
}

}  // namespace pex
