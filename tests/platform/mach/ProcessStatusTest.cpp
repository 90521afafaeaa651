#include "platform/mach/ProcessStatus.h"

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace pex {
namespace {

std::optional<long> parse(const std::string& text) {
    return ProcessStatus::parseTracerPid(text.data(), text.size());
}

TEST(ProcessStatusTest, ParsesTheTracerLine) {
    const std::string head = "Name:\tapp\nState:\tS (sleeping)\nPPid:\t1\n";
    EXPECT_EQ(parse(head + "TracerPid:\t0\nUid:\t0\n"), 0);
    EXPECT_EQ(parse(head + "TracerPid:\t4321\nUid:\t0\n"), 4321);
    EXPECT_EQ(parse(head + "TracerPid:   77"), 77);  // last line, no newline
    EXPECT_EQ(parse(head + "Uid:\t0\n"), std::nullopt);
    EXPECT_EQ(parse(head + "TracerPid:\n"), std::nullopt);
    EXPECT_EQ(parse(head + "XTracerPid:\t5\n"), std::nullopt);  // only at the start of a line
    EXPECT_EQ(parse(head + "TracerPid:\t99999999999999999999\n"), std::nullopt);
    EXPECT_EQ(parse(""), std::nullopt);
}

TEST(ProcessStatusTest, SeesNoTracerNormallyAndTheParentWhenTraced) {
    EXPECT_EQ(ProcessStatus::tracerPid(), 0);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        long traced = -1;
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0) {
            traced = ProcessStatus::tracerPid().value_or(-2);
        }
        [[maybe_unused]] ssize_t ignored = write(pipeFds[1], &traced, sizeof traced);
        _exit(0);
    }
    close(pipeFds[1]);
    long traced = -3;
    ASSERT_EQ(read(pipeFds[0], &traced, sizeof traced), static_cast<ssize_t>(sizeof traced));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (traced == -1) GTEST_SKIP() << "tracing is not permitted here";
    EXPECT_EQ(traced, getpid());
}

}  // namespace
}  // namespace pex
