#pragma once
// The sound side of a typical interview machine on a private sound server: null sinks
// "Speakers" and "velqoOutput 2ch" (the loopback) and a null source "USB Microphone", and
// players that stream into the default sink.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/PulseAudioServer.h"

namespace pex::test {

inline int pactl(const PulseAudioServer& server, std::vector<std::string> arguments) {
    return server.pactl(std::move(arguments));
}

// A daemon that starts without devices of its own, so the tests name every device there is.
inline PulseAudioServer::Options noDevices() {
    PulseAudioServer::Options options;
    options.nullSinks = {};
    return options;
}

// Adds the interview machine's devices and makes the speakers and the microphone the defaults;
// without `loopback`, a machine whose loopback is still to be created.
inline void addInterviewDevices(const PulseAudioServer& server, bool loopback = true) {
    ASSERT_EQ(pactl(server, {"load-module", "module-null-sink", "sink_name=speakers",
                             "sink_properties=device.description=Speakers"}),
              0);
    if (loopback) {
        ASSERT_EQ(pactl(server, {"load-module", "module-null-sink", "sink_name=velqo_2ch",
                                 "sink_properties=\"device.description='velqoOutput 2ch'\""}),
                  0);
    }
    ASSERT_EQ(server.addNullSource("usb_mic", "USB Microphone"), 0);
    ASSERT_TRUE(server.setDefault("sink", "speakers"));
    ASSERT_TRUE(server.setDefault("source", "usb_mic"));
}

// Runs a player `command` against the default sink until it ends or the player goes; it is
// ended by its process id, which its shell writes to `pidFile` before it becomes the player.
class PulseAudioPlayer {
  public:
    PulseAudioPlayer(const PulseAudioServer& server, std::string command,
                     std::filesystem::path pidFile)
        : pidFile_(std::move(pidFile)) {
        thread_ = std::thread([&server, command = std::move(command), pidFile = pidFile_] {
            server.run({"sh", "-c", "echo $$ > '" + pidFile.string() + "'; exec " + command});
        });
    }
    PulseAudioPlayer(const PulseAudioPlayer&) = delete;
    PulseAudioPlayer& operator=(const PulseAudioPlayer&) = delete;
    ~PulseAudioPlayer() {
        for (int i = 0; i < 1000 && pid() <= 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (pid() > 0) ::kill(pid(), SIGTERM);
        thread_.join();
    }

  private:
    pid_t pid() const {
        std::ifstream in(pidFile_);
        pid_t pid = -1;
        in >> pid;
        return pid;
    }
    std::filesystem::path pidFile_;
    std::thread thread_;
};

// Streams silence until it goes.
class SilencePlayer : public PulseAudioPlayer {
  public:
    SilencePlayer(const PulseAudioServer& server, const std::filesystem::path& pidFile)
        : PulseAudioPlayer(server, "pacat --raw --volume=0 < /dev/zero", pidFile) {}
};

// Plays a WAV file until it ends or the player goes.
class SoundPlayer : public PulseAudioPlayer {
  public:
    SoundPlayer(const PulseAudioServer& server, const std::filesystem::path& file,
                const std::filesystem::path& pidFile)
        : PulseAudioPlayer(server, "paplay '" + file.string() + "'", pidFile) {}
};

}  // namespace pex::test
