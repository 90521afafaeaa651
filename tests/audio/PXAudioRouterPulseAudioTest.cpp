// The audio router end to end on a private sound server: with a stream already playing on
// the speakers, system sound makes the loopback the default input and, a second later, a
// multi-output aggregate of loopback and speakers the default output, and the stream moves onto
// it so the loopback hears it; restoring puts speakers and microphone back and unloads the
// aggregate. A machine without the loopback gets it created through the router, which then uses
// it.
#include <algorithm>
#include <regex>
#include <sstream>

#include "audio/PXAudioRouter.h"
#include "platform/coreaudio/PulseAudioHardwareFixture.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainQueue.h"
#include "purchase/ConsoleCapture.h"

namespace pex::test {
namespace {

class PXAudioRouterPulseAudioTest : public PulseAudioHardwareTest {
  protected:
    void TearDown() override {
        settle();
        PulseAudioHardwareTest::TearDown();
    }
    void settle() {
        coreaudio::drainNotifications();
        MainQueue::drain();
    }
    std::vector<std::string> newLines() {
        std::istringstream in(console.text());
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        std::vector<std::string> fresh(all.begin() + static_cast<long>(seenLines), all.end());
        seenLines = all.size();
        return fresh;
    }

    ScopedManualClock clock;
    ConsoleCapture console;
    std::size_t seenLines = 0;
    TempDir stateDir;
    const std::filesystem::path stateFile = stateDir.path() / "audio-route.json";
};

TEST_F(PXAudioRouterPulseAudioTest, SystemSoundIsRoutedThroughTheAggregateAndRestored) {
    const auto speakers = AudioDevice::lookupByUID("speakers");
    const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
    const auto microphone = AudioDevice::lookupByUID("usb_mic");
    ASSERT_TRUE(speakers && loopback && microphone);
    ChangeLog log;
    ASSERT_EQ(log.watch(coreaudio::kSystemObject), 0);
    ASSERT_EQ(log.watch(speakers->objectID()), 0);
    ASSERT_EQ(log.watch(loopback->objectID()), 0);
    TempDir dir;
    SilencePlayer player(server, dir.path() / "player.pid");
    ASSERT_TRUE(log.waitUntil([&] { return speakers->isRunning(); }));
    EXPECT_FALSE(loopback->isRunning());

    PXAudioRouter router(stateFile);
    EXPECT_EQ(router.blackHoleDevice(), loopback);
    EXPECT_EQ(router.currentOutputDevice(), speakers);
    router.setMode(PXInputMode::system);
    router.useSystemAudio();
    const auto aggregate = AudioDevice::lookupByUID("kvt-Multi-Output_UID");
    ASSERT_TRUE(aggregate);
    EXPECT_EQ(newLines(), (std::vector<std::string>{
                              "✅ 设置 BlackHole 为默认输入",
                              "✅ 成功创建聚合设备 ID: " + std::to_string(aggregate->objectID())}));
    EXPECT_TRUE(aggregate->isAggregateDevice());
    EXPECT_EQ(aggregate->name(), "kvt Multi-Output");
    EXPECT_TRUE(loopback->isDefaultInputDevice());
    EXPECT_TRUE(speakers->isDefaultOutputDevice());

    clock.clock().advance(std::chrono::seconds(1));
    settle();
    EXPECT_EQ(newLines(), std::vector<std::string>{"✅ 设置聚合设备为默认输出"});
    EXPECT_TRUE(aggregate->isDefaultOutputDevice());
    // The playing stream followed the default onto the aggregate, which feeds the loopback
    // (what the recorder hears) as well as the speakers.
    EXPECT_TRUE(log.waitUntil([&] { return aggregate->isRunning() && loopback->isRunning(); }));
    EXPECT_TRUE(speakers->isRunning());

    router.restore();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 恢复原始输出设备", "✅ 恢复原始输入设备：USB Microphone",
                                        "🗑️ 聚合设备销毁成功"}));
    EXPECT_TRUE(speakers->isDefaultOutputDevice());
    EXPECT_TRUE(microphone->isDefaultInputDevice());
    // A combine sink lives as long as its module: the sink gone, the module is unloaded.
    EXPECT_EQ(AudioDevice::lookupByUID("kvt-Multi-Output_UID"), nullptr);
    EXPECT_FALSE(aggregate->isAlive());
    EXPECT_TRUE(log.waitUntil([&] { return speakers->isRunning() && !loopback->isRunning(); }));
}

// A run killed mid-session left the combine sink as the default output and the loopback's
// monitor as the default source; the next router puts both back and unloads the module.
TEST_F(PXAudioRouterPulseAudioTest, ARouteLeftByAKilledRunIsUndoneByTheNextRouter) {
    const auto speakers = AudioDevice::lookupByUID("speakers");
    const auto microphone = AudioDevice::lookupByUID("usb_mic");
    ASSERT_TRUE(speakers && microphone);
    {
        PXAudioRouter killed(stateFile);
        killed.useSystemAudio();
        clock.clock().advance(std::chrono::seconds(1));
        settle();
        const auto aggregate = AudioDevice::lookupByUID("kvt-Multi-Output_UID");
        ASSERT_TRUE(aggregate && aggregate->isDefaultOutputDevice());
        ASSERT_TRUE(AudioDevice::lookupByUID("velqo_2ch")->isDefaultInputDevice());
    }
    settle();
    PXAudioRouter next(stateFile);
    EXPECT_TRUE(speakers->isDefaultOutputDevice());
    EXPECT_TRUE(microphone->isDefaultInputDevice());
    EXPECT_EQ(AudioDevice::lookupByUID("kvt-Multi-Output_UID"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(stateFile));
}

// The user's output may have any sink name the server took (a space, CJK, a quote): system
// sound is routed through it and the session is told so.
TEST_F(PXAudioRouterPulseAudioTest, SystemSoundIsRoutedThroughOutputsOfAnyName) {
    const std::vector<std::pair<std::string, std::string>> outputs = {
        {"Living room speakers", "sink_name='Living room speakers'"},
        {"扬声器 (内置)", "sink_name='扬声器 (内置)'"},
        {"Joe's speakers", "sink_name=\"Joe's speakers\""},
    };
    for (const auto& [name, argument] : outputs) {
        SCOPED_TRACE(name);
        ASSERT_EQ(server.pactl({"load-module", "module-null-sink", argument}), 0);
        // A PulseAudio daemon makes the name plain; a PipeWire server keeps it.
        const std::string taken =
            server.kind() == PulseAudioServer::Kind::PipeWire
                ? name
                : std::regex_replace(name, std::regex("[^A-Za-z0-9._-]"), "_");
        ASSERT_TRUE(server.setDefault("sink", taken));
        ChangeLog log;
        ASSERT_EQ(log.watch(coreaudio::kSystemObject), 0);
        ASSERT_TRUE(log.waitUntil([&] {
            const auto output = AudioDevice::lookupByUID(taken);
            return output && output->isDefaultOutputDevice();
        }));
        const auto output = AudioDevice::lookupByUID(taken);

        PXAudioRouter router(stateFile);
        std::optional<bool> routed;
        router.useSystemAudio([&](bool outcome) { routed = outcome; });
        clock.clock().advance(std::chrono::seconds(1));
        settle();
        EXPECT_EQ(routed, true);
        const auto aggregate = AudioDevice::lookupByUID("kvt-Multi-Output_UID");
        ASSERT_TRUE(aggregate);
        EXPECT_TRUE(aggregate->isDefaultOutputDevice());
        const auto subdevices = aggregate->ownedDevices().value_or(AudioDeviceHub::Devices{});
        EXPECT_NE(std::find(subdevices.begin(), subdevices.end(), output), subdevices.end());
        router.restore();
        EXPECT_TRUE(output->isDefaultOutputDevice());
        EXPECT_EQ(AudioDevice::lookupByUID("kvt-Multi-Output_UID"), nullptr);
        settle();
    }
}

// The sound server restarts under a running router in the middle of a system-sound session: the
// aggregate is gone and the server comes back with the loopback as its default input. The router
// connects again, puts the user's input back from its state file once the device list is still,
// and the next sessions route as before.
TEST_F(PXAudioRouterPulseAudioTest, AfterTheServerRestartsTheRouteIsPutBackAndSessionsWork) {
    PXAudioRouter router(stateFile);
    router.useSystemAudio();
    clock.clock().advance(std::chrono::seconds(1));
    settle();
    ASSERT_TRUE(AudioDevice::lookupByUID("kvt-Multi-Output_UID")->isDefaultOutputDevice());
    ASSERT_TRUE(std::filesystem::exists(stateFile));
    newLines();

    ChangeLog log;
    ASSERT_EQ(log.watch(coreaudio::kSystemObject), 0);
    ASSERT_TRUE(server.restart()) << server.log();
    addInterviewDevices(server);
    ASSERT_TRUE(server.setDefault("source", "velqo_2ch.monitor"));
    ASSERT_TRUE(log.waitUntil([] {
        const auto microphone = AudioDevice::lookupByUID("usb_mic");
        const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
        return microphone && loopback && loopback->isDefaultInputDevice() &&
               AudioDevice::lookupByUID("speakers");
    }));
    settle();  // the router has seen each change of the device list
    EXPECT_TRUE(newLines().empty());
    clock.clock().advance(std::chrono::seconds(1));
    settle();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"⚠️ 发现上次未恢复的音频设备",
                                                    "✅ 恢复原始输入设备：USB Microphone"}));
    const auto speakers = AudioDevice::lookupByUID("speakers");
    const auto microphone = AudioDevice::lookupByUID("usb_mic");
    const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
    EXPECT_TRUE(microphone->isDefaultInputDevice());
    EXPECT_TRUE(speakers->isDefaultOutputDevice());
    EXPECT_FALSE(std::filesystem::exists(stateFile));

    router.switchMode(PXInputMode::microphone);
    EXPECT_EQ(newLines(), std::vector<std::string>{"✅ 切换到麦克风输入：USB Microphone"});
    std::optional<bool> routed;
    router.switchMode(PXInputMode::system, [&](bool outcome) { routed = outcome; });
    const auto aggregate = AudioDevice::lookupByUID("kvt-Multi-Output_UID");
    ASSERT_TRUE(aggregate);
    EXPECT_EQ(router.blackHoleDevice(), loopback);
    EXPECT_EQ(newLines(), (std::vector<std::string>{
                              "✅ 设置 BlackHole 为默认输入",
                              "✅ 成功创建聚合设备 ID: " + std::to_string(aggregate->objectID())}));
    clock.clock().advance(std::chrono::seconds(1));
    settle();
    EXPECT_EQ(routed, true);
    EXPECT_TRUE(aggregate->isDefaultOutputDevice());
    router.restore();
    EXPECT_TRUE(speakers->isDefaultOutputDevice());
    EXPECT_TRUE(microphone->isDefaultInputDevice());
    EXPECT_EQ(AudioDevice::lookupByUID("kvt-Multi-Output_UID"), nullptr);
}

// The same daemon without the loopback: the router cannot route system sound until the loopback
// is created, and uses it as soon as it is.
class PXAudioRouterLoopbackCreationTest : public PXAudioRouterPulseAudioTest {
  protected:
    PXAudioRouterLoopbackCreationTest() { withLoopback = false; }
};

TEST_F(PXAudioRouterLoopbackCreationTest, ACreatedLoopbackIsUsedByTheRunningRouter) {
    PXAudioRouter router(stateFile);
    EXPECT_EQ(router.findLoopback(), nullptr);
    router.useSystemAudio();
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 找不到合法的 BlackHole 或输出设备"});

    std::optional<coreaudio::AudioStatus> outcome;
    router.createLoopbackDevice([&](coreaudio::AudioStatus status) { outcome = status; });
    ASSERT_TRUE(MainQueue::runUntil([&] { return outcome.has_value(); }));
    EXPECT_EQ(*outcome, coreaudio::status::ok);
    EXPECT_EQ(newLines(), std::vector<std::string>{"✅ 成功创建回环设备：velqoOutput 2ch"});
    EXPECT_EQ(server.run({"sh", "-c", "pactl list sinks | grep -qxF \"$0\"",
                          "\tDescription: velqoOutput 2ch"}),
              0);
    const auto loopback = router.blackHoleDevice();
    ASSERT_TRUE(loopback);
    EXPECT_EQ(loopback->uid(), "velqoOutput_2ch");

    router.useSystemAudio();
    const auto aggregate = AudioDevice::lookupByUID("kvt-Multi-Output_UID");
    ASSERT_TRUE(aggregate);
    EXPECT_EQ(newLines(), (std::vector<std::string>{
                              "✅ 设置 BlackHole 为默认输入",
                              "✅ 成功创建聚合设备 ID: " + std::to_string(aggregate->objectID())}));
    EXPECT_TRUE(loopback->isDefaultInputDevice());
    clock.clock().advance(std::chrono::seconds(1));
    settle();
    EXPECT_EQ(newLines(), std::vector<std::string>{"✅ 设置聚合设备为默认输出"});
    EXPECT_TRUE(aggregate->isDefaultOutputDevice());
    router.restore();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 恢复原始输出设备", "✅ 恢复原始输入设备：USB Microphone",
                                        "🗑️ 聚合设备销毁成功"}));
}

}  // namespace
}  // namespace pex::test
