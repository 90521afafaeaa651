// The real application ends in order on SIGTERM and SIGINT (a desktop logging out, Ctrl+C in a
// terminal): it leaves through its own quit and exits with status 0, instead of being killed by
// the signal.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "standin-service/StandinService.h"
#include "support/ChildLauncher.h"
#include "support/CrashChildSanitizerOptions.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool socketIn(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_socket(error)) return true;
    }
    return false;
}

TEST(AppQuitTest, ATerminationSignalEndsTheApplicationWithStatusZero) {
    standin::StandinService service;
    service.start();
    for (const int number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(number);
        test::TempDir home;
        const fs::path runtime = home.path() / "runtime";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        test::ChildLaunch launch{PEXMORA_CRASHTEST, {}};
        const std::string root = home.path().string();
        launch.environment = {{"HOME", root},
                              {"ASAN_OPTIONS", kChildSanitizerOptions},
                              {"UBSAN_OPTIONS", kChildUndefinedSanitizerOptions},
                              {"XDG_CONFIG_HOME", root + "/.config"},
                              {"XDG_DATA_HOME", root + "/.local/share"},
                              {"XDG_CACHE_HOME", root + "/.cache"},
                              {"XDG_STATE_HOME", root + "/.local/state"},
                              {"XDG_RUNTIME_DIR", runtime.string()},
                              {"QT_QPA_PLATFORM", "offscreen"},
                              {"PULSE_SERVER", "unix:" + root + "/no-sound-server"},
                              {"PEXMORA_TEST_ORIGIN", service.origin()}};
        launch.writeTo(1, root + "/console.log").duplicate(1, 2);
        const pid_t child = test::launchChild(launch);
        ASSERT_GT(child, 0);
        // Its single-instance socket is up once it is ready to take signals.
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!socketIn(runtime) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(socketIn(runtime));
        kill(child, number);
        int status = 0;
        const auto ending = std::chrono::steady_clock::now() + 30s;
        while (waitpid(child, &status, WNOHANG) != child) {
            if (std::chrono::steady_clock::now() > ending) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

}  // namespace
}  // namespace pex
