// The end of main stops the process's background threads before its static objects go: work
// under way finishes, time-outs are over, transfers are cancelled, every thread but the main one
// has ended, and nothing runs afterwards.
// The child program's static objects take a while to go, so work left running shows.
#include "platform/foundation/BackgroundThreads.h"

#include <sys/wait.h>
#include <unistd.h>

#include <regex>
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
    ending.out = test::fileText(out);
    return ending;
}

// The child's work, left running, runs into the teardown of its static objects; stopped at the
// end of main, it all finishes first.
TEST(BackgroundThreadsTest, WorkUnderWayAtTheEndOfMainFinishesBeforeStaticObjectsGo) {
    const Ending left = runChild("return");
    ASSERT_EQ(left.status, 3) << left.out;
    ASSERT_NE(left.out.find("ran after the static objects went: queued work finished"),
              std::string::npos)
        << left.out;

    const Ending stopped = runChild("stop");
    EXPECT_EQ(stopped.status, 0) << stopped.out;
    for (const char* line :
         {"queued work finished\n", "time-out ended\n", "request cancelled\n", "stopped 1\n",
          "own thread ended 1\n", "sync ran 1, late work ran 0\n"}) {
        EXPECT_NE(stopped.out.find(line), std::string::npos) << line << "in:\n" << stopped.out;
    }
    EXPECT_EQ(stopped.out.find("static objects went"), std::string::npos) << stopped.out;
    // The pool's threads, the clock's, the URL session's and the network watcher's at least.
    EXPECT_TRUE(std::regex_search(
        stopped.out, std::regex("product threads: ([4-9]|[1-9][0-9]+) started, 0 still running\n")))
        << stopped.out;
}

}  // namespace
}  // namespace pex
