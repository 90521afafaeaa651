// The real application ends in order on SIGTERM and SIGINT (a desktop logging out, Ctrl+C in a
// terminal): it leaves through its own quit and exits with status 0, instead of being killed by
// the signal, also while its background work is still under way.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "standin-service/StandinService.h"
#include "support/ChildLauncher.h"
#include "support/CrashChildSanitizerOptions.h"
#include "support/CrashTestAppLaunch.h"
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
        test::waitForChild(child, status, 30s);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

// Occurrences of `needle` in `text`.
std::size_t countOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// A quit right after start, while the crash reporter's image record is still being written
// (a library loaded and unloaded, again and again): the run ends with status 0, in order (not
// cut short at a bound), and every change queued before the quit is in the record. Several
// runs, since the record's work and the end of the run race.
TEST(AppQuitTest, QuittingWhileTheImageRecordIsWrittenFinishesTheRecordFirst) {
    standin::StandinService service;
    service.start();
    constexpr int kRounds = 300;
    const std::string library = PEXMORA_CRASHTEST_LATE_LIBRARY;
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        test::TempDir home;
        const std::string root = home.path().string();
        test::ChildLaunch launch =
            test::crashTestAppLaunch(PEXMORA_CRASHTEST, root, service.origin());
        launch.environment["PEXMORA_TEST_LATE_LIBRARY"] = PEXMORA_CRASHTEST_LATE_LIBRARY;
        launch.environment["PEXMORA_TEST_QUIT_WHILE_IMAGES_CHANGE"] = std::to_string(kRounds);
        launch.writeTo(1, root + "/console.log").duplicate(1, 2);
        const pid_t child = test::launchChild(launch);
        ASSERT_GT(child, 0);
        int status = 0;
        test::waitForChild(child, status, 60s);
        const std::string console = test::fileText(root + "/console.log");
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << console;
        EXPECT_EQ(WEXITSTATUS(status), 0) << console;
        ASSERT_NE(console.find("quitting while the image record changes"), std::string::npos)
            << console;
        EXPECT_EQ(console.find("后台任务未能及时结束"), std::string::npos) << console;

        const fs::path active = home.path() / ".cache" / "Pexmora" / "com.crashreporter.data" /
                                "com.pexmora.app" / "v5" / "reports" / "active";
        std::string images;
        std::error_code error;
        for (const auto& report : fs::directory_iterator(active, error)) {
            images += test::fileText(report.path() / "binary_images.clsrecord");
        }
        EXPECT_EQ(countOf(images, "{\"load\":{\"path\":\"" + library + "\""), std::size_t{kRounds});
        EXPECT_EQ(countOf(images, "{\"unload\":{\"path\":\"" + library + "\""),
                  std::size_t{kRounds});
    }
}

}  // namespace
}  // namespace pex
