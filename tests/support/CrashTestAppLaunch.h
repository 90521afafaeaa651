#pragma once
// How a test starts the application's crash test build: in a home folder of its own (its
// settings, data and runtime folders inside it), drawing offscreen, with the test's private
// sound server (or none), and its hosts moved to the test's stand-in. The caller adds what the
// run asks of the build.
#include <filesystem>
#include <string>

#include "support/ChildLauncher.h"
#include "support/CrashChildSanitizerOptions.h"

namespace pex::test {

// `soundServer`: the PULSE_SERVER of a test's private server; empty for none.
inline ChildLaunch crashTestAppLaunch(const std::string& binary, const std::string& home,
                                      const std::string& origin,
                                      const std::string& soundServer = {}) {
    std::filesystem::create_directories(home + "/runtime");
    std::filesystem::permissions(home + "/runtime", std::filesystem::perms::owner_all);
    ChildLaunch launch{binary, {}};
    launch.environment = {
        {"HOME", home},
        // A sanitizer build's own fault handlers leave the signals to the crash reporter.
        {"ASAN_OPTIONS", kChildSanitizerOptions},
        {"UBSAN_OPTIONS", kChildUndefinedSanitizerOptions},
        {"XDG_CACHE_HOME", home + "/.cache"},
        {"XDG_CONFIG_HOME", home + "/.config"},
        {"XDG_DATA_HOME", home + "/.local/share"},
        {"XDG_STATE_HOME", home + "/.local/state"},
        {"XDG_RUNTIME_DIR", home + "/runtime"},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"PULSE_SERVER", soundServer.empty() ? "unix:" + home + "/no-sound-server" : soundServer},
        {"PEXMORA_TEST_ORIGIN", origin}};
    return launch;
}

}  // namespace pex::test
