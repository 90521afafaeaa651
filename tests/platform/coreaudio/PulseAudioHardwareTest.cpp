// The PulseAudio backend against a private daemon: devices and their properties, default
// devices, volume and mute writes read back at once, aggregate (combine) devices, server events
// turned into listener calls, and a server that goes away.
#include "platform/coreaudio/PulseAudioHardwareFixture.h"

#include <signal.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace pex::test {
namespace {

namespace status = coreaudio::status;
namespace classid = coreaudio::classid;
using coreaudio::kNoObject;
using coreaudio::kSystemObject;

nlohmann::json multiOutput(const std::string& loopback, const std::string& speakers) {
    return {{"name", "kvt Multi-Output"},
            {"uid", "kvt-Multi-Output_UID"},
            {"subdevices", {{{"uid", loopback}}, {{"uid", speakers}}}},
            {"master", loopback},
            {"stacked", 1}};
}

TEST_F(PulseAudioHardwareTest, DevicesHaveNamesUIDsClassesAndDirections) {
    const auto all = devices();
    ASSERT_EQ(all.size(), 3u);
    struct Expected {
        const char* uid;
        const char* name;
        std::uint32_t in;
        std::uint32_t out;
    };
    // Sinks first, then sources; a null sink's monitor is its input, so the loopback records.
    const std::vector<Expected> table = {{"speakers", "Speakers", 2, 2},
                                         {"velqo_2ch", "velqoOutput 2ch", 2, 2},
                                         {"usb_mic", "USB Microphone", 2, 0}};
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].uid);
        const AudioObjectID id = all[i];
        EXPECT_EQ(text(id, global("uid ")), table[i].uid);
        EXPECT_EQ(text(id, global("lnam")), table[i].name);
        EXPECT_EQ(read<std::uint32_t>(id, global("clas")), classid::device);
        EXPECT_EQ(read<std::uint32_t>(id, global("tran")), fourCC("virt"));
        EXPECT_EQ(channels(id, coreaudio::scope::input), table[i].in);
        EXPECT_EQ(channels(id, coreaudio::scope::output), table[i].out);
        // Plain devices own streams only: they are not aggregates.
        EXPECT_TRUE(ids(id, global("ownd"), {classid::device}).empty());
        EXPECT_EQ(ids(id, global("ownd"), {classid::object}).size(), table[i].out ? 2u : 1u);
        EXPECT_EQ(read<double>(id, global("nsrt")).value_or(0) > 0, true);
    }
    EXPECT_EQ(ids(kSystemObject, global("ownd"), {classid::object}), all);
    // The UID translation finds the device; an unknown UID gives none.
    auto byUID = [](const std::string& uid) {
        coreaudio::PropertyString in(uid);
        AudioObjectID out = 99;
        coreaudio::AudioValueTranslation translation{&in, sizeof(in), &out, sizeof(out)};
        std::uint32_t size = sizeof(translation);
        coreaudio::getPropertyData(kSystemObject, global("duid"), 0, nullptr, size, &translation);
        return out;
    };
    EXPECT_EQ(byUID("velqo_2ch"), all[1]);
    EXPECT_EQ(byUID("nobody"), kNoObject);
    // What the server has no counterpart for is absent.
    for (const char* selector : {"oink", "csrc", "fsiz", "isub", "svlm"}) {
        EXPECT_FALSE(coreaudio::hasProperty(all[0], global(selector))) << selector;
    }
    EXPECT_FALSE(coreaudio::hasProperty(all[0], output("mute", 1)));
}

TEST_F(PulseAudioHardwareTest, DefaultsAreSetAndReadBack) {
    const AudioObjectID speakers = deviceWithUID("speakers");
    const AudioObjectID loopback = deviceWithUID("velqo_2ch");
    const AudioObjectID microphone = deviceWithUID("usb_mic");
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dOut")), speakers);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("sOut")), speakers);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dIn ")), microphone);

    // Writes return after the mirror shows them: read-after-write holds.
    EXPECT_EQ(write(kSystemObject, global("dOut"), loopback), status::ok);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dOut")), loopback);
    // A sink device as default input selects its monitor, which reads as the sink's device.
    EXPECT_EQ(write(kSystemObject, global("dIn "), loopback), status::ok);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dIn ")), loopback);

    // The server holds them: a second connection sees the same.
    auto second = coreaudio::PulseAudioHardware::connect();
    ASSERT_NE(second, nullptr);
    AudioObjectID seen = kNoObject;
    std::uint32_t size = sizeof(seen);
    ASSERT_EQ(second->getPropertyData(kSystemObject, global("dIn "), 0, nullptr, size, &seen), 0);
    coreaudio::PropertyString uid;
    size = sizeof(uid);
    ASSERT_EQ(second->getPropertyData(seen, global("uid "), 0, nullptr, size, &uid), 0);
    EXPECT_EQ(uid.str(), "velqo_2ch");

    // Refusals: an input-only device cannot play, there is no separate alert role to write,
    // and unknown devices are rejected.
    EXPECT_EQ(write(kSystemObject, global("dOut"), microphone), status::illegalOperation);
    EXPECT_EQ(write(kSystemObject, global("sOut"), speakers), status::unsupportedOperation);
    EXPECT_EQ(write(kSystemObject, global("dOut"), AudioObjectID{12345}), status::badDevice);
    EXPECT_EQ(write(kSystemObject, global("dIn "), microphone), status::ok);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dIn ")), microphone);
}

TEST_F(PulseAudioHardwareTest, VolumeMuteAndBalanceWritesReadBack) {
    const AudioObjectID speakers = deviceWithUID("speakers");
    EXPECT_EQ(write(speakers, output("volm"), 0.5f), status::ok);
    EXPECT_NEAR(*read<float>(speakers, output("volm")), 0.5f, 0.001f);
    EXPECT_NEAR(*read<float>(speakers, output("volm", 2)), 0.5f, 0.001f);

    // One channel alone; the overall volume is the loudest channel's.
    EXPECT_EQ(write(speakers, output("volm", 1), 0.25f), status::ok);
    EXPECT_NEAR(*read<float>(speakers, output("volm", 1)), 0.25f, 0.001f);
    EXPECT_NEAR(*read<float>(speakers, output("volm", 2)), 0.5f, 0.001f);
    EXPECT_NEAR(*read<float>(speakers, output("vmvc")), 0.5f, 0.001f);
    EXPECT_GT(*read<float>(speakers, output("vmbc")), 0.5f);  // leans right

    // Decibels follow the server's curve; conversions are in place.
    const float decibels = *read<float>(speakers, output("vold", 2));
    EXPECT_NEAR(decibels, 60 * std::log10(0.5), 0.01);  // the server's volume is cubic
    float conversion = 1.0f;
    std::uint32_t size = sizeof(conversion);
    ASSERT_EQ(coreaudio::getPropertyData(speakers, output("v2db"), 0, nullptr, size, &conversion),
              0);
    EXPECT_NEAR(conversion, 0.0f, 0.001f);

    // Louder than full scale or not a number never reaches the server.
    EXPECT_EQ(write(speakers, output("volm"), 1.7f), status::ok);
    EXPECT_NEAR(*read<float>(speakers, output("volm")), 1.0f, 0.001f);
    EXPECT_EQ(write(speakers, output("volm"), std::nanf("")), status::illegalOperation);
    EXPECT_EQ(write(speakers, output("volm"), std::uint8_t{1}), status::badPropertySize);

    EXPECT_EQ(write(speakers, output("mute"), std::uint32_t{1}), status::ok);
    EXPECT_EQ(read<std::uint32_t>(speakers, output("mute")), 1u);
    // The loopback's input is its monitor: its mute is the monitor's, apart from the output's.
    const AudioObjectID loopback = deviceWithUID("velqo_2ch");
    EXPECT_EQ(write(loopback, input("mute"), std::uint32_t{1}), status::ok);
    EXPECT_EQ(read<std::uint32_t>(loopback, input("mute")), 1u);
    EXPECT_EQ(read<std::uint32_t>(loopback, output("mute")), 0u);

    // Read-only facts answer 'unop'; what does not exist answers 'who?'.
    EXPECT_EQ(write(speakers, global("nsrt"), 44100.0), status::unsupportedOperation);
    EXPECT_EQ(write(speakers, global("oink"), 0.0), status::unknownProperty);
    EXPECT_EQ(write(AudioObjectID{12345}, output("volm"), 0.5f), status::badObject);
}

TEST_F(PulseAudioHardwareTest, AggregateIsACombineSinkCreatedAndDestroyed) {
    const AudioObjectID speakers = deviceWithUID("speakers");
    const AudioObjectID loopback = deviceWithUID("velqo_2ch");
    AudioObjectID aggregate = kNoObject;
    ASSERT_EQ(coreaudio::createAggregateDevice(multiOutput("velqo_2ch", "speakers"), aggregate),
              status::ok);
    ASSERT_NE(aggregate, kNoObject);
    EXPECT_EQ(devices().size(), 4u);
    EXPECT_EQ(read<std::uint32_t>(aggregate, global("clas")), classid::aggregateDevice);
    EXPECT_EQ(read<std::uint32_t>(aggregate, global("tran")), fourCC("grup"));
    EXPECT_EQ(text(aggregate, global("lnam")), "kvt Multi-Output");
    EXPECT_EQ(text(aggregate, global("uid ")), "kvt-Multi-Output_UID");
    EXPECT_EQ(ids(aggregate, global("ownd"), {classid::device}),
              (std::vector<AudioObjectID>{loopback, speakers}));
    EXPECT_EQ(ids(aggregate, global("ownd"), {classid::object}).size(), 3u);  // and its stream
    EXPECT_EQ(channels(aggregate, coreaudio::scope::output), 2u);

    // A second one under the same UID is refused.
    AudioObjectID again = kNoObject;
    EXPECT_EQ(coreaudio::createAggregateDevice(multiOutput("velqo_2ch", "speakers"), again),
              status::illegalOperation);

    // As the default output it plays what the machine plays; once it is destroyed, the server
    // has named another default by the time the call returns.
    ASSERT_EQ(write(kSystemObject, global("dOut"), aggregate), status::ok);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dOut")), aggregate);
    ASSERT_EQ(coreaudio::destroyAggregateDevice(aggregate), status::ok);
    const auto defaultOutput = read<AudioObjectID>(kSystemObject, global("dOut"));
    EXPECT_TRUE(defaultOutput == speakers || defaultOutput == loopback);
    EXPECT_EQ(devices().size(), 3u);
    EXPECT_EQ(deviceWithUID("kvt-Multi-Output_UID"), kNoObject);
    // Only combine sinks are destroyed: a user's own device's module stays loaded.
    EXPECT_EQ(coreaudio::destroyAggregateDevice(speakers), status::illegalOperation);
    EXPECT_EQ(coreaudio::destroyAggregateDevice(aggregate), status::badObject);
    EXPECT_EQ(devices().size(), 3u);
}

TEST_F(PulseAudioHardwareTest, AggregateDescriptionsAreCheckedBeforeTheServerSeesThem) {
    auto with = [](const char* key, nlohmann::json value) {
        nlohmann::json description = multiOutput("velqo_2ch", "speakers");
        description[key] = std::move(value);
        return description;
    };
    const std::vector<std::pair<nlohmann::json, AudioStatus>> table = {
        {with("stacked", 0), status::unsupportedOperation},
        {with("uid", "two words"), status::illegalOperation},
        {with("uid", "x slaves=usb_mic"), status::illegalOperation},
        {with("subdevices", nlohmann::json::array()), status::illegalOperation},
        {with("subdevices", {{{"uid", "usb_mic"}}, {{"uid", "velqo_2ch"}}}), status::badDevice},
        {with("subdevices", {{{"uid", "nobody"}}, {{"uid", "velqo_2ch"}}}), status::badDevice},
        {with("master", "usb_mic"), status::illegalOperation},
        {nlohmann::json::array(), status::illegalOperation},
    };
    for (const auto& [description, expected] : table) {
        AudioObjectID created = kNoObject;
        EXPECT_EQ(coreaudio::createAggregateDevice(description, created), expected)
            << description.dump();
        EXPECT_EQ(created, kNoObject);
    }
    EXPECT_EQ(devices().size(), 3u);

    // A name with quotes and backslashes arrives as given (or only escaped).
    const std::string odd = R"(Joe's "best" \ output)";
    AudioObjectID created = kNoObject;
    ASSERT_EQ(coreaudio::createAggregateDevice(with("name", odd), created), status::ok);
    EXPECT_EQ(describedAs(text(created, global("lnam"))), odd);
    EXPECT_EQ(coreaudio::destroyAggregateDevice(created), status::ok);
}

// Sink names are free text on some servers (a space, CJK, a quote; a PulseAudio daemon makes
// them plain): each one the server took can be a subdevice of the aggregate; only a name that
// cannot be written in the subdevice list (a comma splits it) is refused.
TEST_F(PulseAudioHardwareTest, AnySinkNameTheServerTookCanBeASubdevice) {
    struct Case {
        std::string name;
        std::string argument;  // how the test's own pactl names it
        AudioStatus expected;  // for the name as given
    };
    const std::vector<Case> cases = {
        {"Living room speakers", "sink_name='Living room speakers'", status::ok},
        {"扬声器 (内置)", "sink_name='扬声器 (内置)'", status::ok},
        {"Joe's speakers", "sink_name=\"Joe's speakers\"", status::ok},
        {"say \"hi\"", "sink_name='say \"hi\"'", status::ok},
        {"left,right", "sink_name='left,right'", status::illegalOperation},
    };
    const bool namesAsGiven = server.kind() == PulseAudioServer::Kind::PipeWire;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChangeLog log;
        ASSERT_EQ(log.watch(kSystemObject), 0);
        const auto before = devices();
        ASSERT_EQ(pactl({"load-module", "module-null-sink", c.argument}), 0);
        // The one new device that plays is the sink just made.
        AudioObjectID sink = kNoObject;
        ASSERT_TRUE(log.waitUntil([&] {
            for (AudioObjectID id : devices()) {
                if (std::find(before.begin(), before.end(), id) == before.end() &&
                    channels(id, coreaudio::scope::output) > 0) {
                    sink = id;
                }
            }
            return sink != kNoObject;
        })) << devices().size()
            << " devices, " << before.size() << " before";
        const std::string taken = text(sink, global("uid "));
        if (namesAsGiven) {
            EXPECT_EQ(taken, c.name);
        }
        AudioObjectID aggregate = kNoObject;
        EXPECT_EQ(coreaudio::createAggregateDevice(multiOutput("velqo_2ch", taken), aggregate),
                  taken == c.name ? c.expected : status::ok);
        if (aggregate == kNoObject) continue;
        EXPECT_EQ(ids(aggregate, global("ownd"), {classid::device}),
                  (std::vector<AudioObjectID>{deviceWithUID("velqo_2ch"), sink}));
        EXPECT_EQ(coreaudio::destroyAggregateDevice(aggregate), status::ok);
    }
}

// A machine whose loopback the application still has to create.
class PulseAudioLoopbackTest : public PulseAudioHardwareTest {
  protected:
    PulseAudioLoopbackTest() { withLoopback = false; }
    // Whether the server itself (asked by its own client) lists a sink of that description.
    bool serverListsSinkDescribed(const std::string& description) {
        return server.run({"sh", "-c", "pactl list sinks | grep -qxF \"$0\"",
                           "\tDescription: " + description}) == 0;
    }
};

TEST_F(PulseAudioLoopbackTest, ALoopbackIsANullSinkWithThatDescription) {
    ASSERT_EQ(deviceWithUID("velqoOutput_2ch"), kNoObject);
    AudioObjectID created = kNoObject;
    ASSERT_EQ(coreaudio::createLoopbackDevice("velqoOutput 2ch", created), status::ok);
    EXPECT_TRUE(serverListsSinkDescribed("velqoOutput 2ch"));
    EXPECT_EQ(created, deviceWithUID("velqoOutput_2ch"));
    EXPECT_EQ(text(created, global("lnam")), "velqoOutput 2ch");
    // What plays on it can be recorded from it: a loopback.
    EXPECT_EQ(channels(created, coreaudio::scope::output), 2u);
    EXPECT_EQ(channels(created, coreaudio::scope::input), 2u);

    // Asked again (two clicks, two windows), it is the same device; no second sink.
    AudioObjectID again = kNoObject;
    EXPECT_EQ(coreaudio::createLoopbackDevice("velqoOutput 2ch", again), status::ok);
    EXPECT_EQ(again, created);
    EXPECT_EQ(devices().size(), 3u);
}

TEST_F(PulseAudioLoopbackTest, NamesReachTheServerAsTheyStandOrAreRefused) {
    // Quotes and backslashes stay in the description and never reach the module argument's
    // syntax; the sink name keeps only characters sink names may hold.
    const std::string odd = "it's \"odd\" \\ 2ch key=value";
    AudioObjectID created = kNoObject;
    ASSERT_EQ(coreaudio::createLoopbackDevice(odd, created), status::ok);
    const std::string shown = text(created, global("lnam"));
    EXPECT_EQ(describedAs(shown), odd);
    EXPECT_EQ(text(created, global("uid ")), "it_s__odd____2ch_key_value");
    EXPECT_TRUE(serverListsSinkDescribed(shown));
    // Asked again, it is found by its sink name: the same device, no second sink.
    AudioObjectID again = kNoObject;
    ASSERT_EQ(coreaudio::createLoopbackDevice(odd, again), status::ok);
    EXPECT_EQ(again, created);

    AudioObjectID refused = 7;
    EXPECT_EQ(coreaudio::createLoopbackDevice("", refused), status::illegalOperation);
    EXPECT_EQ(refused, kNoObject);
    EXPECT_EQ(coreaudio::createLoopbackDevice("two\nlines", refused), status::illegalOperation);
    // Another device already holds the sink name the loopback would get.
    EXPECT_EQ(coreaudio::createLoopbackDevice("speakers", refused), status::illegalOperation);
    EXPECT_EQ(devices().size(), 3u);
}

TEST_F(PulseAudioHardwareTest, ServerChangesReachListenersWithEveryChangedAddress) {
    const AudioObjectID speakers = deviceWithUID("speakers");
    ChangeLog log;
    ASSERT_EQ(log.watch(speakers), 0);
    ASSERT_EQ(log.watch(kSystemObject), 0);

    ASSERT_EQ(pactl({"set-sink-volume", "speakers", "50%", "70%"}), 0);
    EXPECT_TRUE(log.waitFor(speakers, output("volm", 1)));
    EXPECT_TRUE(log.waitFor(speakers, output("volm", 2)));
    EXPECT_TRUE(log.waitFor(speakers, output("volm", 0)));
    EXPECT_TRUE(log.waitFor(speakers, output("vmbc")));
    ASSERT_EQ(pactl({"set-sink-mute", "speakers", "1"}), 0);
    EXPECT_TRUE(log.waitFor(speakers, output("mute")));

    // A session manager may drop a default set while it is busy: the server's helper sends it
    // again until the server names it; the change then reaches the listener.
    ASSERT_TRUE(server.setDefault("sink", "velqo_2ch"));
    EXPECT_TRUE(log.waitFor(kSystemObject, global("dOut")));
    ASSERT_TRUE(server.setDefault("source", "speakers.monitor"));
    EXPECT_TRUE(log.waitFor(kSystemObject, global("dIn ")));
    ASSERT_EQ(pactl({"load-module", "module-null-sink", "sink_name=headset"}), 0);
    EXPECT_TRUE(log.waitFor(kSystemObject, global("ownd")));
    EXPECT_TRUE(log.waitFor(kSystemObject, global("dev#")));
}

TEST_F(PulseAudioHardwareTest, ObjectIDsAreNeverReused) {
    const auto before = devices();
    ChangeLog log;
    ASSERT_EQ(log.watch(kSystemObject), 0);
    const std::string sourceArgument = server.kind() == PulseAudioServer::Kind::PipeWire
                                           ? "sink_name=usb_mic"
                                           : "source_name=usb_mic";
    ASSERT_EQ(server.unloadModuleWith(sourceArgument), 0);
    ASSERT_EQ(server.addNullSource("usb_mic"), 0);
    EXPECT_TRUE(log.waitUntil([&] {
        const AudioObjectID now = deviceWithUID("usb_mic");
        return now != kNoObject && now != before[2];
    }));
    const AudioObjectID reloaded = deviceWithUID("usb_mic");
    for (AudioObjectID old : before) EXPECT_NE(reloaded, old);
    EXPECT_FALSE(coreaudio::hasProperty(before[2], global("uid ")));
}

TEST_F(PulseAudioHardwareTest, AServerThatGoesAwayTakesItsDevicesAlong) {
    ChangeLog log;
    ASSERT_EQ(log.watch(kSystemObject), 0);
    const AudioObjectID speakers = deviceWithUID("speakers");
    server.kill();
    EXPECT_TRUE(log.waitFor(kSystemObject, global("dev#")));
    EXPECT_TRUE(devices().empty());
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dOut")), kNoObject);
    EXPECT_EQ(write(speakers, output("volm"), 0.5f), status::badObject);
    AudioObjectID created = kNoObject;
    EXPECT_EQ(coreaudio::createAggregateDevice(multiOutput("velqo_2ch", "speakers"), created),
              status::badDevice);
}

// A server that restarts is connected to again: the devices it has then are there to read and
// write, with object IDs of their own.
TEST_F(PulseAudioHardwareTest, AServerThatRestartsIsConnectedToAgain) {
    ChangeLog log;
    ASSERT_EQ(log.watch(kSystemObject), 0);
    const auto before = devices();
    ASSERT_TRUE(server.restart()) << server.log();
    addInterviewDevices(server);
    ASSERT_TRUE(log.waitUntil([&] { return deviceWithUID("usb_mic") != kNoObject; }));
    ASSERT_TRUE(log.waitUntil([&] { return devices().size() == 3; }));
    const AudioObjectID speakers = deviceWithUID("speakers");
    const AudioObjectID loopback = deviceWithUID("velqo_2ch");
    for (AudioObjectID old : before) EXPECT_NE(speakers, old);
    EXPECT_EQ(text(speakers, global("lnam")), "Speakers");
    EXPECT_EQ(write(kSystemObject, global("dOut"), loopback), status::ok);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dOut")), loopback);
    AudioObjectID aggregate = kNoObject;
    EXPECT_EQ(coreaudio::createAggregateDevice(multiOutput("velqo_2ch", "speakers"), aggregate),
              status::ok);
    EXPECT_EQ(coreaudio::destroyAggregateDevice(aggregate), status::ok);
}

// A default write that the server takes while its session manager is away is dropped; the
// write is confirmed by the server's change event and sent again until it is, so it takes
// effect once a session manager is back.
TEST_F(PulseAudioHardwareTest, ADroppedDefaultWriteIsSentAgain) {
    if (server.kind() != PulseAudioServer::Kind::PipeWire) {
        GTEST_SKIP() << "a PulseAudio daemon applies a default as it answers";
    }
    const AudioObjectID loopback = deviceWithUID("velqo_2ch");
    ASSERT_EQ(::kill(server.sessionManagerPid(), SIGKILL), 0);
    std::atomic<AudioStatus> written{-1};
    std::thread writer([&] { written = write(kSystemObject, global("dOut"), loopback); });
    const bool back = server.restartSessionManager();
    writer.join();
    ASSERT_TRUE(back) << server.log();
    EXPECT_EQ(written.load(), status::ok);
    EXPECT_EQ(read<AudioObjectID>(kSystemObject, global("dOut")), loopback);
}

TEST_F(PulseAudioHardwareTest, AServerThatDoesNotAnswerTimesOutAndLateAnswersAreHarmless) {
    hardware = coreaudio::PulseAudioHardware::connect(std::chrono::milliseconds(300));
    ASSERT_NE(hardware, nullptr);
    coreaudio::installBackend(hardware);
    const AudioObjectID speakers = deviceWithUID("speakers");
    ::kill(server.pid(), SIGSTOP);
    EXPECT_EQ(write(speakers, output("volm"), 0.5f), status::unspecified);
    // Reads keep being served from the mirror meanwhile.
    EXPECT_EQ(text(speakers, global("lnam")), "Speakers");
    ::kill(server.pid(), SIGCONT);
    // The late answer finds its waiter still held; the next write goes through.
    EXPECT_EQ(write(speakers, output("volm"), 0.25f), status::ok);
    EXPECT_NEAR(*read<float>(speakers, output("volm")), 0.25f, 0.001f);
}

TEST_F(PulseAudioHardwareTest, ReadsOnManyThreadsWhileTheServerChanges) {
    const AudioObjectID speakers = deviceWithUID("speakers");
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!done) {
                if (devices().size() < 3) ++failures;
                if (text(speakers, global("uid ")) != "speakers") ++failures;
                if (!read<float>(speakers, output("volm", 2))) ++failures;
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(write(speakers, output("volm"), i % 2 ? 0.3f : 0.7f), status::ok);
        EXPECT_EQ(pactl({"load-module", "module-null-sink", "sink_name=extra" + std::to_string(i)}),
                  0);
    }
    done = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(failures, 0);
    EXPECT_NEAR(*read<float>(speakers, output("volm")), 0.3f, 0.001f);
}

TEST(PulseAudioHardwareConnectTest, NoServerMeansNoBackend) {
    TempDir dir;
    const char* previous = std::getenv("PULSE_SERVER");
    const std::string saved = previous ? previous : "";
    ::setenv("PULSE_SERVER", ("unix:" + (dir.path() / "nobody-here").string()).c_str(), 1);
    EXPECT_EQ(coreaudio::PulseAudioHardware::connect(std::chrono::milliseconds(2000)), nullptr);
    EXPECT_FALSE(coreaudio::PulseAudioHardware::install(std::chrono::milliseconds(2000)));
    EXPECT_EQ(coreaudio::installedBackend(), nullptr);
    if (previous) {
        ::setenv("PULSE_SERVER", saved.c_str(), 1);
    } else {
        ::unsetenv("PULSE_SERVER");
    }
}

}  // namespace
}  // namespace pex::test
