#pragma once
// Starts a program from a test process that runs threads of its own (stand-in servers, queues).
// Between fork and exec only async-signal-safe calls are allowed: a child that set its
// environment or allocated there could wait for ever on a lock another thread held at the
// fork. So the argument and environment lists are made first and posix_spawn does the rest.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace pex::test {

struct ChildLaunch {
    explicit ChildLaunch(std::string program, std::vector<std::string> arguments = {})
        : program(std::move(program)), arguments(std::move(arguments)) {}

    std::string program;
    std::vector<std::string> arguments;  // after the program's own name
    // Variables set for the child; none removes the variable.
    std::map<std::string, std::optional<std::string>> environment;
    // Applied in order before the program starts: a file opened for writing onto a descriptor,
    // a descriptor duplicated onto another, a descriptor closed.
    struct Step {
        enum class Kind { openForWriting, duplicate, close } kind;
        int target = -1;
        int source = -1;
        std::string path;
    };
    std::vector<Step> steps;

    ChildLaunch& writeTo(int target, std::string path) {
        steps.push_back({Step::Kind::openForWriting, target, -1, std::move(path)});
        return *this;
    }
    ChildLaunch& duplicate(int source, int target) {
        steps.push_back({Step::Kind::duplicate, target, source, {}});
        return *this;
    }
    ChildLaunch& close(int descriptor) {
        steps.push_back({Step::Kind::close, descriptor, -1, {}});
        return *this;
    }
};

// The child's process id, or -1 when it could not be started.
inline pid_t launchChild(const ChildLaunch& launch) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (!launch.environment.count(name)) environment.push_back(text);
    }
    for (const auto& [name, value] : launch.environment) {
        if (value) environment.push_back(name + "=" + *value);
    }
    std::vector<std::string> arguments{launch.program};
    arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());

    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& step : launch.steps) {
        switch (step.kind) {
            case ChildLaunch::Step::Kind::openForWriting:
                posix_spawn_file_actions_addopen(&actions, step.target, step.path.c_str(),
                                                 O_WRONLY | O_CREAT | O_TRUNC, 0600);
                break;
            case ChildLaunch::Step::Kind::duplicate:
                posix_spawn_file_actions_adddup2(&actions, step.source, step.target);
                break;
            case ChildLaunch::Step::Kind::close:
                posix_spawn_file_actions_addclose(&actions, step.target);
                break;
        }
    }
    pid_t child = -1;
    const int failed =
        posix_spawn(&child, launch.program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? child : -1;
}

// Waits for `child` to end, at most `limit`, its wait status in `status`; a child still running
// then is killed (and reaped), and the answer is false.
inline bool waitForChild(pid_t child, int& status, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(child, &status, WNOHANG) == child) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

}  // namespace pex::test
