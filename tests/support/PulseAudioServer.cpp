#include "support/PulseAudioServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace pex::test {

namespace {

std::optional<std::string> readEnv(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void restoreEnv(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

// The current environment with some variables replaced, for a child started with posix_spawn.
std::vector<std::string> environmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& [key, value] : overrides) replaced = replaced || key == name;
        if (!replaced) result.push_back(text);
    }
    for (const auto& [key, value] : overrides) result.push_back(key + "=" + value);
    return result;
}

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const std::filesystem::path& output) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int status = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

}  // namespace

PulseAudioServer::PulseAudioServer(Options options) {
    const auto root = dir_.path();
    socket_ = root / "native";
    std::filesystem::create_directories(root / "runtime");
    std::filesystem::create_directories(root / "state");
    std::filesystem::create_directories(root / "home");

    std::ofstream config(root / "server.pa");
    config << "load-module module-native-protocol-unix socket=" << socket_.string()
           << " auth-anonymous=1\n";
    for (const auto& sink : options.nullSinks) {
        config << "load-module module-null-sink sink_name=" << sink << "\n";
    }
    for (const auto& source : options.nullSources) {
        config << "load-module module-null-source source_name=" << source << "\n";
    }
    if (options.defaultSink) config << "set-default-sink " << *options.defaultSink << "\n";
    if (options.defaultSource) config << "set-default-source " << *options.defaultSource << "\n";
    config.close();

    // Everything the daemon and its clients would read or write lives in the temporary folder.
    const std::vector<std::pair<std::string, std::string>> privateEnvironment{
        {"HOME", (root / "home").string()},
        {"XDG_RUNTIME_DIR", (root / "runtime").string()},
        {"XDG_CONFIG_HOME", (root / "home").string()},
        {"PULSE_RUNTIME_PATH", (root / "runtime").string()},
        {"PULSE_STATE_PATH", (root / "state").string()},
        {"PULSE_COOKIE", (root / "cookie").string()},
        {"PULSE_SERVER", serverAddress()},
    };
    pid_ = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
                  "--use-pid-file=no", "--realtime=no", "--high-priority=no", "--log-target=stderr",
                  "--log-level=notice", "-F", (root / "server.pa").string()},
                 environmentWith(privateEnvironment), root / "server.log");
    if (pid_ <= 0) {
        pid_ = -1;
        return;
    }
    savedServer_ = readEnv("PULSE_SERVER");
    savedCookie_ = readEnv("PULSE_COOKIE");
    ::setenv("PULSE_SERVER", serverAddress().c_str(), 1);
    ::setenv("PULSE_COOKIE", (root / "cookie").c_str(), 1);
    if (!waitUntilAccepting()) terminate(SIGKILL);
}

PulseAudioServer::~PulseAudioServer() {
    stop();
    restoreEnv("PULSE_SERVER", savedServer_);
    restoreEnv("PULSE_COOKIE", savedCookie_);
}

std::string PulseAudioServer::serverAddress() const {
    return "unix:" + socket_.string();
}

std::string PulseAudioServer::log() const {
    std::ifstream in(dir_.path() / "server.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void PulseAudioServer::kill() {
    terminate(SIGKILL);
}

void PulseAudioServer::stop() {
    terminate(SIGTERM);
}

int PulseAudioServer::run(const std::vector<std::string>& arguments) const {
    const pid_t child = spawn(arguments, environmentWith({}), dir_.path() / "commands.log");
    if (child <= 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PulseAudioServer::waitUntilAccepting() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // the daemon gave up; its reason is in the log
            return false;
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_.c_str(), sizeof(address.sun_path) - 1);
        const bool accepted =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd);
        if (accepted) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void PulseAudioServer::terminate(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    // A polite stop gets a few seconds; then the daemon is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

}  // namespace pex::test
