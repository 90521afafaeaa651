#pragma once
// Runs the crash child program (fixtures/CrashChild.cpp) on a report folder and reads back what
// it left: how it ended, its output, and the sections of its record files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "support/ChildLauncher.h"
#include "support/CrashChildSanitizerOptions.h"

namespace pex {

struct ChildResult {
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    std::string out;
    std::string err;
};

// Runs the crash child with the report folder, mode and phase. With `killWith`, sends that
// signal once the child says it is ready.
inline ChildResult runChild(const std::filesystem::path& root, const std::string& mode,
                            const std::string& phase, int killWith = 0) {
    const std::filesystem::path outPath = root / (mode + "." + phase + ".out");
    const std::filesystem::path errPath = root / (mode + "." + phase + ".err");
    int ready[2];
    if (pipe(ready) != 0) return {};
    test::ChildLaunch launch{CRS_CRASH_CHILD, {root.string(), mode, phase}};
    launch.environment = {{"ASAN_OPTIONS", kChildSanitizerOptions},
                          {"UBSAN_OPTIONS", kChildUndefinedSanitizerOptions}};
    launch.writeTo(STDOUT_FILENO, outPath.string()).writeTo(STDERR_FILENO, errPath.string());
    // The parent waits for "ready" on the pipe, so the output goes there instead of the file.
    if (killWith != 0) launch.duplicate(ready[1], STDOUT_FILENO);
    launch.close(ready[0]).close(ready[1]);
    const pid_t child = test::launchChild(launch);
    if (child < 0) {
        close(ready[0]);
        close(ready[1]);
        return {};
    }
    close(ready[1]);
    if (killWith != 0) {
        char line[16] = {};
        if (read(ready[0], line, sizeof line - 1) > 0) kill(child, killWith);
    }
    close(ready[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ChildResult result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = test::fileText(outPath);
    result.err = test::fileText(errPath);
    return result;
}

inline std::vector<nlohmann::json> sections(const std::filesystem::path& file) {
    return CRSFileReadSections(file.c_str(), false).value_or(std::vector<nlohmann::json>{});
}

inline std::vector<nlohmann::json> sectionsNamed(const std::vector<nlohmann::json>& all,
                                                 const std::string& name) {
    std::vector<nlohmann::json> found;
    for (const auto& section : all) {
        if (section.contains(name)) found.push_back(section[name]);
    }
    return found;
}

}  // namespace pex
