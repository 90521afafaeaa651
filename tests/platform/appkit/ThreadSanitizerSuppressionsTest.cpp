// The thread sanitizer's suppressions leave races in our own code reported: a small program
// whose main-queue work (driven by Qt's event loop) races is reported under the project's
// suppressions, and one whose work is ordered is not, so Qt's hand-over itself is no report.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "support/ChildLauncher.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

struct Outcome {
    int exitStatus = -1;
    std::string output;
};

Outcome runProgram(const std::string& mode, const TempDir& dir) {
    const std::string log = (dir.path() / (mode + ".log")).string();
    ChildLaunch launch(PEXMORA_RACE_PROGRAM, {mode});
    launch.environment["TSAN_OPTIONS"] =
        std::string("suppressions=") + PEXMORA_TSAN_SUPPRESSIONS + ":exitcode=66";
    launch.environment["QT_QPA_PLATFORM"] = "offscreen";
    launch.writeTo(1, log).duplicate(1, 2);
    Outcome outcome;
    const pid_t child = launchChild(launch);
    if (child <= 0) return outcome;
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.output = fileText(log);
    return outcome;
}

TEST(ThreadSanitizerSuppressionsTest, ARaceInMainQueueWorkIsReportedAndAnOrderedHandOverIsNot) {
#if !defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the program has the thread sanitizer only in its own configuration";
#endif
    TempDir dir;
    const Outcome raced = runProgram("race", dir);
    EXPECT_EQ(raced.exitStatus, 66) << raced.output;
    EXPECT_NE(raced.output.find("WARNING: ThreadSanitizer: data race"), std::string::npos);
    EXPECT_NE(raced.output.find("MainQueueRaceProgram.cpp"), std::string::npos);

    const Outcome ordered = runProgram("ordered", dir);
    EXPECT_EQ(ordered.exitStatus, 0) << ordered.output;
    EXPECT_EQ(ordered.output.find("WARNING: ThreadSanitizer"), std::string::npos) << ordered.output;
    EXPECT_NE(ordered.output.find("read 1"), std::string::npos);
}

}  // namespace
}  // namespace pex::test
