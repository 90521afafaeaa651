#pragma once
// Facts about the running process: its launch arguments, read whole from the kernel's copy
// of the command line (so an argument is never split or joined), and its environment.
#include <optional>
#include <string>
#include <vector>

namespace pex {

class ProcessInfo {
  public:
    // Every argument, the program path first. Read once; tests may replace them.
    static std::vector<std::string> arguments();
    // True when one argument is exactly `argument`.
    static bool hasArgument(const std::string& argument);
    static std::optional<std::string> environment(const std::string& name);

    // Replaces (or, with none, restores) what `arguments` returns.
    static void setArgumentsForTesting(std::optional<std::vector<std::string>> arguments);
};

}  // namespace pex
