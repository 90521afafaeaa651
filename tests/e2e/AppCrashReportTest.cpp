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
        const pid_t child = fork();
        if (child == 0) {
            const std::string home = (machine_.path() / "home").string();
            fs::create_directories(home + "/runtime");
            fs::permissions(home + "/runtime", fs::perms::owner_all);
            setenv("HOME", home.c_str(), 1);
            // A sanitizer build's own fault handlers leave the signals to the crash reporter.
            setenv("ASAN_OPTIONS", kChildSanitizerOptions, 1);
            setenv("UBSAN_OPTIONS", "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0",
                   1);
            setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
            setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
            setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("PULSE_SERVER", ("unix:" + home + "/no-sound-server").c_str(), 1);
            setenv("PEXMORA_TEST_ORIGIN", service_.origin().c_str(), 1);
            if (crash) {
                setenv("PEXMORA_TEST_CRASH", "1", 1);
            } else {
                unsetenv("PEXMORA_TEST_CRASH");
            }
            const std::string log = (machine_.path() / (crash ? "crash.log" : "next.log")).string();
            if (freopen(log.c_str(), "w", stdout)) dup2(fileno(stdout), 2);
            execl(PEXMORA_CRASHTEST, PEXMORA_CRASHTEST, static_cast<char*>(nullptr));
            _exit(127);
        }
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
    ASSERT_TRUE(ended(crashing, status, 60s)) << "the crash test build did not crash";
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_FALSE(crashUploaded());

    const pid_t next = launch(false);
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
