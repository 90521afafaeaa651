#include "support/SecretServiceServer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/ChildLauncher.h"

namespace pex::test {

namespace {

namespace fs = std::filesystem;

// A session bus that listens only in `folder` and starts nothing on demand: the keyring is
// the one this support starts, never one the bus would find installed.
std::string busConfiguration(const fs::path& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:path=" +
           socket.string() +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

// Run by dbus-run-session on the private bus, with the read end of the life pipe as fd 3:
// the keyring runs until the pipe's other end has gone with the test process, then the
// keyring ends (and the bus with it) and the folder is removed.
std::string keyringScript(const fs::path& root) {
    const std::string folder = "'" + root.string() + "'";
    return "gnome-keyring-daemon --foreground --unlock --components=secrets < " + folder +
           "/password &\n"
           "keyring=$!\n"
           "read -r _ <&3\n"
           "kill $keyring\n"
           "wait $keyring\n"
           "rm -rf " +
           folder + "\n";
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

SecretServiceServer& SecretServiceServer::shared() {
    // Never destroyed: the keyring must outlive the process's own bus connection.
    static SecretServiceServer* const server = new SecretServiceServer;
    return *server;
}

SecretServiceServer::SecretServiceServer() {
    running_ = start();
}

std::string SecretServiceServer::busAddress() const {
    return "unix:path=" + (dir_.path() / "bus").string();
}

std::string SecretServiceServer::log() const {
    return fileText(dir_.path() / "server.log") + fileText(dir_.path() / "check.log");
}

bool SecretServiceServer::start() {
    const fs::path root = dir_.path();
    for (const char* folder : {"runtime", "home", "data", "config", "cache"}) {
        fs::create_directories(root / folder);
        fs::permissions(root / folder, fs::perms::owner_all);
    }
    std::ofstream(root / "bus.conf") << busConfiguration(root / "bus");
    std::ofstream(root / "keyring.sh") << keyringScript(root);
    std::ofstream(root / "password") << "pexmora-tests";

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    // Kept clear of the descriptor the child reads it on, which would keep its close-on-exec.
    const int life[2] = {::fcntl(pipeEnds[0], F_DUPFD_CLOEXEC, 10),
                         ::fcntl(pipeEnds[1], F_DUPFD_CLOEXEC, 10)};
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    if (life[0] < 0 || life[1] < 0) return false;
    ChildLaunch launch("/usr/bin/dbus-run-session",
                       {"--config-file=" + (root / "bus.conf").string(), "--", "/bin/sh",
                        (root / "keyring.sh").string()});
    launch.environment = {
        {"HOME", (root / "home").string()},
        {"XDG_RUNTIME_DIR", (root / "runtime").string()},
        {"XDG_DATA_HOME", (root / "data").string()},
        {"XDG_CONFIG_HOME", (root / "config").string()},
        {"XDG_CACHE_HOME", (root / "cache").string()},
        {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
        {"DISPLAY", std::nullopt},
        {"WAYLAND_DISPLAY", std::nullopt},
    };
    launch.duplicate(life[0], 3).writeTo(1, (root / "server.log").string()).duplicate(1, 2);
    const pid_t session = launchChild(launch);
    ::close(life[0]);  // the write end stays open, unused, for as long as this process lives
    if (session < 0) {
        ::close(life[1]);
        return false;
    }

    ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress().c_str(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(session, &status, WNOHANG) == session) return false;  // it ended: see log
        if (defaultCollectionIsLogin()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool SecretServiceServer::defaultCollectionIsLogin() const {
    const fs::path answer = dir_.path() / "check.log";
    ChildLaunch check(
        "/usr/bin/dbus-send",
        {"--session", "--print-reply", "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
         "org.freedesktop.Secret.Service.ReadAlias", "string:default"});
    check.writeTo(1, answer.string()).duplicate(1, 2);
    const pid_t child = launchChild(check);
    if (child < 0 || waitFor(child) != 0) return false;
    return fileText(answer).find("/org/freedesktop/secrets/collection/login") != std::string::npos;
}

}  // namespace pex::test
