// System-sound routing end to end on a private daemon, step by step as the audio router takes
// it: the loopback becomes the default input, a multi-output aggregate of loopback and
// speakers becomes the default output, and a stream already playing moves onto it; restoring
// puts the speakers and the microphone back and unloads the aggregate's module.
//
// The steps are written out with the device model's own calls; once the router class exists,
// its useSystemAudio() and restore() take their place here.
#include <signal.h>

#include <fstream>
#include <thread>

#include "audio/device-model/AudioDevice.h"
#include "platform/coreaudio/PulseAudioHardwareFixture.h"
#include "platform/foundation/MainQueue.h"

namespace pex::test {
namespace {

// A player that streams silence to the default sink until it is stopped, by its process id.
class Player {
  public:
    explicit Player(const PulseAudioServer& server, const std::filesystem::path& pidFile)
        : pidFile_(pidFile) {
        thread_ = std::thread([&server, pidFile] {
            server.run(
                {"sh", "-c",
                 "echo $$ > '" + pidFile.string() + "'; exec pacat --raw --volume=0 < /dev/zero"});
        });
    }
    ~Player() {
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

using PulseAudioRoutingTest = PulseAudioHardwareTest;

TEST_F(PulseAudioRoutingTest, SystemSoundIsRoutedThroughTheAggregateAndRestored) {
    const auto speakers = AudioDevice::lookupByUID("speakers");
    const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
    const auto microphone = AudioDevice::lookupByUID("usb_mic");
    ASSERT_TRUE(speakers && loopback && microphone);
    ChangeLog log;
    ASSERT_EQ(log.watch(coreaudio::kSystemObject), 0);
    ASSERT_EQ(log.watch(speakers->objectID()), 0);
    ASSERT_EQ(log.watch(loopback->objectID()), 0);

    TempDir dir;
    Player player(server, dir.path() / "player.pid");
    ASSERT_TRUE(log.waitUntil([&] { return speakers->isRunning(); }));
    EXPECT_FALSE(loopback->isRunning());

    // Use system audio.
    ASSERT_FALSE(speakers->isAggregateDevice());
    loopback->setIsDefaultInputDevice(true);
    coreaudio::AudioObjectID created = coreaudio::kNoObject;
    ASSERT_EQ(coreaudio::createAggregateDevice(
                  {{"name", "kvt Multi-Output"},
                   {"uid", "kvt-Multi-Output_UID"},
                   {"subdevices", {{{"uid", *loopback->uid()}}, {{"uid", *speakers->uid()}}}},
                   {"master", *loopback->uid()},
                   {"stacked", 1}},
                  created),
              0);
    const auto aggregate = AudioDevice::lookup(created);
    ASSERT_TRUE(aggregate);
    ASSERT_TRUE(aggregate->isAggregateDevice());
    aggregate->setIsDefaultOutputDevice(true);
    EXPECT_TRUE(aggregate->isDefaultOutputDevice());
    EXPECT_TRUE(loopback->isDefaultInputDevice());
    // The playing stream followed the default onto the aggregate, which feeds the loopback
    // (what the recorder hears) as well as the speakers.
    EXPECT_TRUE(log.waitUntil([&] { return aggregate->isRunning() && loopback->isRunning(); }));
    EXPECT_TRUE(speakers->isRunning());

    // Restore.
    speakers->setIsDefaultOutputDevice(true);
    microphone->setIsDefaultInputDevice(true);
    ASSERT_EQ(coreaudio::destroyAggregateDevice(aggregate->objectID()), 0);
    EXPECT_TRUE(speakers->isDefaultOutputDevice());
    EXPECT_TRUE(microphone->isDefaultInputDevice());
    // A combine sink lives as long as its module: the sink gone, the module is unloaded.
    EXPECT_EQ(AudioDevice::lookupByUID("kvt-Multi-Output_UID"), nullptr);
    EXPECT_FALSE(aggregate->isAlive());
    EXPECT_TRUE(log.waitUntil([&] { return speakers->isRunning() && !loopback->isRunning(); }));
}

}  // namespace
}  // namespace pex::test
