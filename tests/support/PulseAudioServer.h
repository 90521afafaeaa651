#pragma once
// A private sound server for sound tests, speaking the PulseAudio protocol on its own socket in
// a temporary folder (anonymous access), with only the null sinks and sources the test names
// and nothing of the user's sound server or settings. Two kinds: a PulseAudio daemon, or a
// PipeWire stack (its own message bus, pipewire, wireplumber and pipewire-pulse). The kind is
// the one PEXMORA_SOUND_SERVER names ("pipewire" or "pulseaudio", the default) unless the
// options choose one.
//
// While it lives, PULSE_SERVER (and the client's cookie path) point this process, and every
// program it starts, at the private server; both are restored afterwards. Its processes are
// stopped by their process ids.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace pex::test {

class PulseAudioServer {
  public:
    enum class Kind { PulseAudio, PipeWire };

    struct Options {
        std::vector<std::string> nullSinks{"speakers"};
        std::vector<std::string> nullSources;
        // Default devices by name; a sink "x" offers its monitor as the source "x.monitor".
        std::optional<std::string> defaultSink;
        std::optional<std::string> defaultSource;
        std::optional<Kind> kind;  // none: as PEXMORA_SOUND_SERVER says
    };

    // The kind PEXMORA_SOUND_SERVER asks for.
    static Kind kindFromEnvironment();

    // Starts the server and waits until it accepts connections and has its devices; `isRunning`
    // tells whether it did (the servers' log is in `log()` when not).
    explicit PulseAudioServer(Options options);
    PulseAudioServer() : PulseAudioServer(Options{}) {}
    ~PulseAudioServer();
    PulseAudioServer(const PulseAudioServer&) = delete;
    PulseAudioServer& operator=(const PulseAudioServer&) = delete;

    Kind kind() const { return kind_; }
    bool isRunning() const { return pid_ > 0; }
    // The process that serves the protocol.
    pid_t pid() const { return pid_; }
    // "unix:<socket path>", the value PULSE_SERVER holds.
    std::string serverAddress() const;
    std::string log() const;

    // Ends the protocol server at once (SIGKILL), as a crashed server; `stop` ends every
    // process of the server politely.
    void kill();
    void stop();
    // Stops every process of the server and starts it again on the same socket with the options
    // it was made with, as a user's sound server restarts; true once it accepts connections and
    // has its devices. What was loaded since the start (pactl) is gone; the PipeWire session
    // manager keeps the defaults it remembers.
    bool restart();
    // The PipeWire session manager's process (-1 on a PulseAudio daemon), and a new one in
    // place of one that was stopped or killed; true once it has taken over the defaults.
    pid_t sessionManagerPid() const;
    bool restartSessionManager();

    // Runs a command with the private server's environment and waits; returns its exit status.
    int run(const std::vector<std::string>& arguments) const;
    // pactl with `arguments`.
    int pactl(std::vector<std::string> arguments) const;
    // Adds an input device of its own, `name` described as `description`: a null source, or
    // where the server has none a null sink that acts as a source.
    int addNullSource(const std::string& name, const std::string& description = {}) const;

    // Unloads the module whose argument holds `argument` (such as "source_name=usb_mic").
    int unloadModuleWith(const std::string& argument) const;
    // Makes `name` the default sink (`which` "sink") or source ("source") and waits until the
    // server names it so; false when it did not.
    bool setDefault(const std::string& which, const std::string& name) const;

  private:
    void startPulseAudio(const Options& options);
    void startPipeWire(const Options& options);
    pid_t spawnServer(const std::vector<std::string>& arguments);
    // What a pactl command printed.
    std::string pactlOutput(const std::vector<std::string>& arguments) const;
    void terminate(pid_t& pid, int signal);

    TempDir dir_;
    Options options_;
    Kind kind_ = Kind::PulseAudio;
    std::filesystem::path socket_;
    std::vector<std::pair<std::string, std::string>> environment_;
    pid_t pid_ = -1;
    std::vector<pid_t> helpers_;  // the PipeWire stack's other processes, in start order
    std::optional<std::string> savedServer_;
    std::optional<std::string> savedCookie_;
};

}  // namespace pex::test
