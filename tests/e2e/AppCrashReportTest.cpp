// The application's own crash, from end to end: a crash test build of Pexmora (the real
// application with its hosts moved to this test's stand-in) faults once crash reporting has
// started; at its next start it uploads the crash report to the stand-in over real HTTP.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standin-service/CrashSettingsServer.h"
#include "standin-service/InstallationsServer.h"
#include "standin-service/StandinService.h"
#include "standin-service/TelemetryServer.h"
#include "support/ChildLauncher.h"
#include "support/CrashChildSanitizerOptions.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class AppCrashReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        service_.start();
        telemetry_ = std::make_unique<standin::TelemetryServer>(service_);
        settings_ = std::make_unique<standin::CrashSettingsServer>(service_);
        installations_ = std::make_unique<standin::InstallationsServer>(service_);
    }

    // Starts the application in the shared home; the child's output goes to `log`.
    pid_t launch(bool crash) {
        const std::string home = (machine_.path() / "home").string();
        fs::create_directories(home + "/runtime");
        fs::permissions(home + "/runtime", fs::perms::owner_all);
        test::ChildLaunch launch{PEXMORA_CRASHTEST, {}};
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
            {"PULSE_SERVER", "unix:" + home + "/no-sound-server"},
            {"PEXMORA_TEST_ORIGIN", service_.origin()},
            {"PEXMORA_TEST_CRASH", crash ? std::optional<std::string>("1") : std::nullopt}};
        const std::string log = (machine_.path() / (crash ? "crash.log" : "next.log")).string();
        launch.writeTo(1, log).duplicate(1, 2);
        const pid_t child = test::launchChild(launch);
        return child;
    }

    // Waits for `child` to end, at most `limit`; a child still running then is killed.
    static bool ended(pid_t child, int& status, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(child, &status, WNOHANG) == child) return true;
            std::this_thread::sleep_for(20ms);
        }
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return false;
    }

    bool crashUploaded() const {
        for (const auto& upload : telemetry_->uploads()) {
            if (upload.path != "/telemetry/crash" || !upload.decoded) continue;
            for (const auto& batch : upload.sourceBatches) {
                for (const auto& event : batch.events) {
                    if (batch.sourceID == 1206 &&
                        event.payload.find("signal.clsrecord") != std::string::npos) {
                        return true;
                    }
                }
            }
        }
        return false;
    }

    test::TempDir machine_;
    standin::StandinService service_;
    std::unique_ptr<standin::TelemetryServer> telemetry_;
    std::unique_ptr<standin::CrashSettingsServer> settings_;
    std::unique_ptr<standin::InstallationsServer> installations_;
};

TEST_F(AppCrashReportTest, CrashIsUploadedAtTheNextStart) {
    int status = 0;
    const pid_t crashing = launch(true);
    ASSERT_GT(crashing, 0) << "could not start " << PEXMORA_CRASHTEST;
    ASSERT_TRUE(ended(crashing, status, 60s)) << "the crash test build did not crash";
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_FALSE(crashUploaded());

    const pid_t next = launch(false);
    ASSERT_GT(next, 0) << "could not start " << PEXMORA_CRASHTEST;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!crashUploaded() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    kill(next, SIGTERM);
    waitpid(next, &status, 0);
    EXPECT_TRUE(crashUploaded());
}

}  // namespace
}  // namespace pex
