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

bool canConnect(const std::filesystem::path& socket) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
    const bool accepted =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return accepted;
}

// Waits until `socket` accepts connections; false when the process `pid` that is to serve it
// ends first (then `pid` is -1; its reason is in the log) or it takes too long.
bool waitUntilAccepting(const std::filesystem::path& socket, pid_t& pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        if (canConnect(socket)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

PulseAudioServer::Kind PulseAudioServer::kindFromEnvironment() {
    const auto chosen = readEnv("PEXMORA_SOUND_SERVER");
    return chosen && *chosen == "pipewire" ? Kind::PipeWire : Kind::PulseAudio;
}

PulseAudioServer::PulseAudioServer(Options options)
    : options_(std::move(options)), kind_(options_.kind.value_or(kindFromEnvironment())) {
    const auto root = dir_.path();
    const auto runtime = root / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    std::filesystem::create_directories(root / "state");
    std::filesystem::create_directories(root / "home");
    socket_ = kind_ == Kind::PipeWire ? runtime / "pulse" / "native" : root / "native";

    // Everything the servers and their clients would read or write lives in the temporary
    // folder, the message bus and the PipeWire core included.
    environment_ = {
        {"HOME", (root / "home").string()},
        {"XDG_RUNTIME_DIR", runtime.string()},
        {"XDG_CONFIG_HOME", (root / "home" / ".config").string()},
        {"XDG_STATE_HOME", (root / "state").string()},
        {"PULSE_RUNTIME_PATH", (kind_ == Kind::PipeWire ? runtime / "pulse" : runtime).string()},
        {"PULSE_STATE_PATH", (root / "state").string()},
        {"PULSE_COOKIE", (root / "cookie").string()},
        {"PULSE_SERVER", serverAddress()},
        {"PIPEWIRE_RUNTIME_DIR", runtime.string()},
        {"PIPEWIRE_CORE", "pipewire-0"},
        {"PIPEWIRE_REMOTE", "pipewire-0"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (runtime / "bus").string()},
    };
    savedServer_ = readEnv("PULSE_SERVER");
    savedCookie_ = readEnv("PULSE_COOKIE");
    ::setenv("PULSE_SERVER", serverAddress().c_str(), 1);
    ::setenv("PULSE_COOKIE", (root / "cookie").c_str(), 1);
    if (kind_ == Kind::PipeWire) {
        startPipeWire(options_);
    } else {
        startPulseAudio(options_);
    }
}

bool PulseAudioServer::restart() {
    stop();
    if (kind_ == Kind::PipeWire) {
        startPipeWire(options_);
    } else {
        startPulseAudio(options_);
    }
    return isRunning();
}

pid_t PulseAudioServer::sessionManagerPid() const {
    return kind_ == Kind::PipeWire && helpers_.size() > 2 ? helpers_[2] : -1;
}

bool PulseAudioServer::restartSessionManager() {
    if (sessionManagerPid() <= 0) return false;
    terminate(helpers_[2], SIGKILL);
    helpers_[2] = spawnServer({"wireplumber"});
    if (helpers_[2] <= 0) return false;
    // Ready once it applies a default again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!pactlOutput({"get-default-sink"}).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void PulseAudioServer::startPulseAudio(const Options& options) {
    const auto root = dir_.path();
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

    pid_ = spawnServer({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
                        "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                        "--log-target=stderr", "--log-level=notice", "-F",
                        (root / "server.pa").string()});
    if (pid_ > 0 && !waitUntilAccepting(socket_, pid_)) terminate(pid_, SIGKILL);
}

void PulseAudioServer::startPipeWire(const Options& options) {
    const auto runtime = dir_.path() / "runtime";
    // Each part waits for the one it talks to: wireplumber and pipewire-pulse give up at once
    // without the bus and the core.
    const std::vector<std::pair<std::vector<std::string>, std::filesystem::path>> parts{
        {{"dbus-daemon", "--session", "--nofork", "--nopidfile",
          "--address=unix:path=" + (runtime / "bus").string()},
         runtime / "bus"},
        {{"pipewire"}, runtime / "pipewire-0"},
        {{"wireplumber"}, {}},
    };
    for (const auto& [arguments, socket] : parts) {
        helpers_.push_back(spawnServer(arguments));
        if (helpers_.back() <= 0) return stop();
        if (!socket.empty() && !waitUntilAccepting(socket, helpers_.back())) return stop();
    }
    pid_ = spawnServer({"pipewire-pulse"});
    if (pid_ <= 0 || !waitUntilAccepting(socket_, pid_)) return stop();

    // The stack offers a stand-in sink while there is no other; tests name every device.
    pactl({"unload-module", "module-always-sink"});
    // The session manager is ready once it applies a default: a probe sink shows when.
    const bool ready = pactl({"load-module", "module-null-sink", "sink_name=pexmora_probe"}) == 0 &&
                       setDefault("sink", "pexmora_probe") &&
                       pactl({"unload-module", "module-null-sink"}) == 0;
    if (!ready) return stop();

    bool added = true;
    for (const auto& sink : options.nullSinks) {
        added = added && pactl({"load-module", "module-null-sink", "sink_name=" + sink}) == 0;
    }
    for (const auto& source : options.nullSources) added = added && addNullSource(source) == 0;
    if (options.defaultSink) added = added && setDefault("sink", *options.defaultSink);
    if (options.defaultSource) added = added && setDefault("source", *options.defaultSource);
    if (!added) stop();
}

pid_t PulseAudioServer::spawnServer(const std::vector<std::string>& arguments) {
    const pid_t pid = spawn(arguments, environmentWith(environment_), dir_.path() / "server.log");
    return pid > 0 ? pid : -1;
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
    return fileText(dir_.path() / "server.log") + fileText(dir_.path() / "commands.log");
}

void PulseAudioServer::kill() {
    terminate(pid_, SIGKILL);
}

void PulseAudioServer::stop() {
    terminate(pid_, SIGTERM);
    while (!helpers_.empty()) {
        terminate(helpers_.back(), SIGTERM);
        helpers_.pop_back();
    }
}

int PulseAudioServer::run(const std::vector<std::string>& arguments) const {
    const pid_t child =
        spawn(arguments, environmentWith(environment_), dir_.path() / "commands.log");
    if (child <= 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int PulseAudioServer::pactl(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "pactl");
    return run(arguments);
}

int PulseAudioServer::addNullSource(const std::string& name, const std::string& description) const {
    if (kind_ == Kind::PulseAudio) {
        std::vector<std::string> arguments{"load-module", "module-null-source",
                                           "source_name=" + name};
        if (!description.empty()) arguments.push_back("description='" + description + "'");
        return pactl(arguments);
    }
    std::vector<std::string> arguments{"load-module", "module-null-sink", "sink_name=" + name,
                                       "media.class=Audio/Source/Virtual"};
    if (!description.empty()) {
        arguments.push_back("sink_properties=\"device.description='" + description + "'\"");
    }
    return pactl(arguments);
}

// A device the server has just made may not take the default role yet: asked again until the
// server names it.
bool PulseAudioServer::setDefault(const std::string& which, const std::string& name) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pactl({"set-default-" + which, name});
        for (int look = 0; look < 5; ++look) {
            if (pactlOutput({"get-default-" + which}) == name + "\n") return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return false;
}

int PulseAudioServer::unloadModuleWith(const std::string& argument) const {
    std::istringstream modules(pactlOutput({"list", "short", "modules"}));
    for (std::string line; std::getline(modules, line);) {
        std::istringstream fields(line);
        std::string index;
        fields >> index;
        for (std::string field; fields >> field;) {
            if (field == argument) return pactl({"unload-module", index});
        }
    }
    return -1;
}

std::string PulseAudioServer::pactlOutput(const std::vector<std::string>& arguments) const {
    const auto answer = dir_.path() / "pactl-output.txt";
    std::string command = "pactl";
    for (const auto& argument : arguments) command += " '" + argument + "'";
    if (run({"sh", "-c", command + " > '" + answer.string() + "'"}) != 0) return {};
    return fileText(answer);
}

void PulseAudioServer::terminate(pid_t& pid, int signal) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    // A polite stop gets a few seconds; then the process is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid = -1;
}

}  // namespace pex::test
