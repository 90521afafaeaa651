#pragma once
// A private PulseAudio daemon for sound tests: its own socket in a temporary folder (anonymous
// access), only the null sinks and sources the test names, and nothing of the user's sound
// server or settings. While it lives, PULSE_SERVER (and the client's cookie path) point this
// process, and every program it starts, at the private daemon; both are restored afterwards.
// The daemon is stopped by its process id.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace pex::test {

class PulseAudioServer {
  public:
    struct Options {
        std::vector<std::string> nullSinks{"speakers"};
        std::vector<std::string> nullSources;
        // Default devices by name; a sink "x" offers its monitor as the source "x.monitor".
        std::optional<std::string> defaultSink;
        std::optional<std::string> defaultSource;
    };

    // Starts the daemon and waits until it accepts connections; `isRunning` tells whether it did
    // (the daemon's log is in `log()` when not).
    explicit PulseAudioServer(Options options);
    PulseAudioServer() : PulseAudioServer(Options{}) {}
    ~PulseAudioServer();
    PulseAudioServer(const PulseAudioServer&) = delete;
    PulseAudioServer& operator=(const PulseAudioServer&) = delete;

    bool isRunning() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // "unix:<socket path>", the value PULSE_SERVER holds.
    std::string serverAddress() const;
    std::string log() const;

    // Ends the daemon at once (SIGKILL), as a crashed server; `stop` ends it politely.
    void kill();
    void stop();

    // Runs a command with the private daemon's environment and waits; returns its exit status.
    int run(const std::vector<std::string>& arguments) const;

  private:
    bool waitUntilAccepting();
    void terminate(int signal);

    TempDir dir_;
    std::filesystem::path socket_;
    pid_t pid_ = -1;
    std::optional<std::string> savedServer_;
    std::optional<std::string> savedCookie_;
};

}  // namespace pex::test
