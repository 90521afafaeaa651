// The end of main stops the process's background threads before its static objects go: work
// under way finishes, time-outs are over, transfers are cancelled, and nothing runs afterwards.
// The child program's static objects take a while to go, so work left running shows.
#include "platform/foundation/BackgroundThreads.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/ChildLauncher.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

struct Ending {
    int status = -1;  // the exit status, or -1 when a signal ended it
    std::string out;
};

Ending runChild(const std::string& mode) {
    test::TempDir dir;
    const std::string out = (dir.path() / "out").string();
    test::ChildLaunch launch{BACKGROUND_THREADS_CHILD, {mode}};
    launch.writeTo(STDOUT_FILENO, out);
    const pid_t child = test::launchChild(launch);
    Ending ending;
    if (child < 0) return ending;
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) ending.status = WEXITSTATUS(status);
    std::ifstream file(out);
    std::ostringstream text;
    text << file.rdbuf();
    ending.out = text.str();
    return ending;
}

TEST(BackgroundThreadsTest, WorkUnderWayAtTheEndOfMainFinishesBeforeStaticObjectsGo) {
    const Ending ending = runChild("stop");
    EXPECT_EQ(ending.status, 0) << ending.out;
    for (const char* line :
         {"queued work finished\n", "time-out ended\n", "request cancelled\n", "stopped 1\n",
          "own thread ended 1\n", "sync ran 1, late work ran 0\n"}) {
        EXPECT_NE(ending.out.find(line), std::string::npos) << line << "in:\n" << ending.out;
    }
    EXPECT_EQ(ending.out.find("static objects went"), std::string::npos) << ending.out;
}

// The same program without the stop: its queued work runs into the teardown.
TEST(BackgroundThreadsTest, WithoutTheStopWorkRunsWhileStaticObjectsGo) {
    const Ending ending = runChild("return");
    EXPECT_EQ(ending.status, 3) << ending.out;
    EXPECT_NE(ending.out.find("ran after the static objects went: queued work finished"),
              std::string::npos)
        << ending.out;
}

}  // namespace
}  // namespace pex
