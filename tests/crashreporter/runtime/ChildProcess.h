#pragma once
// Runs code in a forked child and reports how the child ended, for tests of memory that must
// fault. The child puts the default action back on the fault signals first, so a sanitizer's
// handler cannot turn the fault into another ending.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace pex::test {

// The signal that killed the child, or 0 when it exited normally.
inline int signalEndingChild(const std::function<void()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGSEGV, SIG_DFL);
        signal(SIGBUS, SIG_DFL);
        body();
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// The exit code of a child that returns `body()`; -1 when it ended otherwise.
inline int exitCodeOfChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace pex::test
