// The audio router on the fake hardware: system sound through the loopback and the aggregate
// device, the microphone choice, restoring what a session changed, and the exact console lines.
#include "audio/PXAudioRouter.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <sstream>

#include "audio/device-model/DeviceModelFixture.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchQueue.h"
#include "purchase/ConsoleCapture.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectID;
using coreaudio::AudioStatus;
namespace status = coreaudio::status;
using Operation = coreaudio::FakeAudioHardware::Operation;

const coreaudio::AudioObjectPropertyAddress kDefaultInput{fourCC("dIn "), coreaudio::scope::global,
                                                          0};
const coreaudio::AudioObjectPropertyAddress kDefaultOutput{fourCC("dOut"), coreaudio::scope::global,
                                                           0};

std::string statusLine(coreaudio::AudioStatus status) {
    char text[48];
    std::snprintf(text, sizeof text, "%d (0x%X)", status, static_cast<unsigned>(status));
    return text;
}

// The fake hardware, with a look at each default write as it is made: `beforeDefaultWrite`
// runs first, and `laterThanAnswered` makes a write that takes effect report failure all the
// same, as a server does whose session manager applies a default after the server answered.
class WatchedDefaults : public coreaudio::FakeAudioHardware {
  public:
    AudioStatus setPropertyData(AudioObjectID object,
                                const coreaudio::AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t size, const void* data) override {
        const bool isDefault =
            object == coreaudio::kSystemObject &&
            (address.mSelector == fourCC("dIn ") || address.mSelector == fourCC("dOut"));
        if (isDefault && beforeDefaultWrite) beforeDefaultWrite(address.mSelector);
        const AudioStatus status = FakeAudioHardware::setPropertyData(
            object, address, qualifierSize, qualifier, size, data);
        if (isDefault && status == status::ok && laterThanAnswered) return status::unspecified;
        return status;
    }
    std::function<void(std::uint32_t selector)> beforeDefaultWrite;
    bool laterThanAnswered = false;
};

class PXAudioRouterTest : public DeviceModelTest {
  protected:
    PXAudioRouterTest() {
        fake = watched;
        coreaudio::installBackend(fake);
        speakers = addDevice("Built-in Output", 0, 2);
        microphone = addDevice("Built-in Microphone", 1, 0);
        loopback = addDevice("velqoOutput 2ch", 2, 2);
        fake->setDefaultDevice(fourCC("dOut"), speakers);
        fake->setDefaultDevice(fourCC("dIn "), microphone);
    }

    // The console lines written since the last call.
    std::vector<std::string> newLines() {
        std::istringstream in(console.text());
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        std::vector<std::string> fresh(all.begin() + static_cast<long>(seenLines), all.end());
        seenLines = all.size();
        return fresh;
    }
    void afterOneSecond() {
        clock.clock().advance(std::chrono::seconds(1));
        settle();
    }
    AudioObjectID aggregateID() {
        for (AudioObjectID id : fake->devices()) {
            if (AudioDevice::lookup(id)->uid() == "kvt-Multi-Output_UID") return id;
        }
        return coreaudio::kNoObject;
    }
    // The writes and aggregate changes in the fake's log (listener bookkeeping left out).
    std::vector<std::string> hardwareChanges() {
        std::vector<std::string> changes;
        for (const auto& operation : fake->operations()) {
            if (operation.rfind("Set ", 0) == 0 ||
                operation.find("Aggregate ") != std::string::npos) {
                changes.push_back(operation);
            }
        }
        return changes;
    }
    std::string created() { return "✅ 成功创建聚合设备 ID: " + std::to_string(aggregateID()); }

    std::shared_ptr<WatchedDefaults> watched = std::make_shared<WatchedDefaults>();
    ScopedManualClock clock;
    ConsoleCapture console;
    std::size_t seenLines = 0;
    TempDir stateDir;
    const std::filesystem::path stateFile = stateDir.path() / "audio-route.json";
    AudioObjectID speakers = 0;
    AudioObjectID microphone = 0;
    AudioObjectID loopback = 0;
};

TEST_F(PXAudioRouterTest, SystemSoundRoutesThroughTheLoopbackAndTheAggregate) {
    PXAudioRouter router(stateFile);
    EXPECT_EQ(router.blackHoleDevice(), AudioDevice::lookup(loopback));
    EXPECT_EQ(router.currentOutputDevice(), AudioDevice::lookup(speakers));
    EXPECT_EQ(router.mode(), PXInputMode::microphone);

    router.useSystemAudio();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"✅ 设置 BlackHole 为默认输入", created()}));
    EXPECT_EQ(
        fake->aggregateDescriptions().back(),
        (nlohmann::json{
            {"name", "kvt Multi-Output"},
            {"uid", "kvt-Multi-Output_UID"},
            {"subdevices", {{{"uid", "velqoOutput 2ch_UID"}}, {{"uid", "Built-in Output_UID"}}}},
            {"master", "velqoOutput 2ch_UID"},
            {"stacked", 1}}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), loopback);

    clock.clock().advance(std::chrono::milliseconds(999));
    settle();
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
    clock.clock().advance(std::chrono::milliseconds(1));
    settle();
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), aggregateID());
    EXPECT_EQ(newLines(), std::vector<std::string>{"✅ 设置聚合设备为默认输出"});

    // Once the aggregate is the output, a further call refuses and keeps the real output.
    router.useSystemAudio();
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 找不到合法的 BlackHole 或输出设备"});
    EXPECT_EQ(router.currentOutputDevice(), AudioDevice::lookup(speakers));

    router.restore();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"✅ 恢复原始输出设备",
                                                    "✅ 恢复原始输入设备：Built-in Microphone",
                                                    "🗑️ 聚合设备销毁成功"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
    EXPECT_EQ(aggregateID(), coreaudio::kNoObject);
}

TEST_F(PXAudioRouterTest, TwiceWithinOneSecondUsesTheSameAggregate) {
    PXAudioRouter router(stateFile);
    router.useSystemAudio();
    router.useSystemAudio();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 设置 BlackHole 为默认输入", created(),
                                        "✅ 设置 BlackHole 为默认输入", "🔁 聚合设备已存在"}));
    afterOneSecond();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 设置聚合设备为默认输出", "✅ 设置聚合设备为默认输出"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), aggregateID());
    // The output before the session is still the one put back.
    router.restore();
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
}

TEST_F(PXAudioRouterTest, AFailedCreationIsReportedWithItsStatus) {
    for (coreaudio::AudioStatus failure : {status::illegalOperation, coreaudio::AudioStatus{-50}}) {
        PXAudioRouter router(stateFile);
        fake->failNextAggregateCreation(failure);
        router.useSystemAudio();
        EXPECT_EQ(newLines(),
                  (std::vector<std::string>{"✅ 设置 BlackHole 为默认输入",
                                            "❌ 创建聚合设备失败，状态码: " + statusLine(failure)}));
        afterOneSecond();
        EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 聚合设备未找到"});
        EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), loopback);
        EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
        router.restore();
        EXPECT_EQ(newLines(),
                  (std::vector<std::string>{"✅ 恢复原始输入设备：Built-in Microphone",
                                            "⚠️ 没有找到需要销毁的聚合设备"}));
    }
    EXPECT_EQ(statusLine(-50), "-50 (0xFFFFFFCE)");
    EXPECT_EQ(statusLine(status::illegalOperation), "1852797029 (0x6E6F7065)");
}

TEST_F(PXAudioRouterTest, FailedSwitchesAreNotReportedAsSuccess) {
    PXAudioRouter router(stateFile);
    fake->failNext(coreaudio::kSystemObject, kDefaultInput, status::illegalOperation, 1,
                   Operation::Set);
    router.useSystemAudio();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"❌ 设置 BlackHole 为默认输入失败，状态码: " +
                                                        statusLine(status::illegalOperation),
                                                    created()}));
    fake->failNext(coreaudio::kSystemObject, kDefaultOutput, status::unspecified, 1,
                   Operation::Set);
    afterOneSecond();
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 设置聚合设备为默认输出失败，状态码: " +
                                                   statusLine(status::unspecified)});
    // A failed write may still take effect later: what was recorded is written back all the same.
    router.restore();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"✅ 恢复原始输出设备",
                                                    "✅ 恢复原始输入设备：Built-in Microphone",
                                                    "🗑️ 聚合设备销毁成功"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);

    fake->setDefaultDevice(fourCC("dIn "), loopback);
    fake->failNext(coreaudio::kSystemObject, kDefaultInput, status::unspecified, 1, Operation::Set);
    router.switchMode(PXInputMode::microphone);
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 切换到麦克风输入失败，状态码: " +
                                                   statusLine(status::unspecified)});
}

// A slow session manager applies each default after the server answered, so every write
// reports failure and still takes effect: restore puts back what was recorded.
TEST_F(PXAudioRouterTest, DefaultsThatChangedAfterAFailedWriteArePutBack) {
    PXAudioRouter router(stateFile);
    watched->laterThanAnswered = true;
    router.useSystemAudio();
    afterOneSecond();
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), loopback);
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), aggregateID());
    router.restore();
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
    EXPECT_EQ(aggregateID(), coreaudio::kNoObject);
    // The put-back writes reported failure too: the record stays until a restore succeeds.
    EXPECT_TRUE(std::filesystem::exists(stateFile));
    watched->laterThanAnswered = false;
    router.restore();
    EXPECT_FALSE(std::filesystem::exists(stateFile));

    // The same for a microphone session from another input.
    const auto lineIn = addDevice("Line In", 2, 0);
    fake->setDefaultDevice(fourCC("dIn "), lineIn);
    watched->laterThanAnswered = true;
    router.switchMode(PXInputMode::microphone);
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
    watched->laterThanAnswered = false;
    router.restore();
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), lineIn);
}

// Whatever happens to the process after a default changes, the next start must find the record:
// it is on disk before each first change of a default.
TEST_F(PXAudioRouterTest, TheRecordIsOnDiskBeforeEachDefaultChanges) {
    std::vector<std::pair<std::string, std::optional<PXAudioRouteState>>> seen;
    watched->beforeDefaultWrite = [&](std::uint32_t selector) {
        seen.emplace_back(coreaudio::fourCCText(selector), PXAudioRouteState::load(stateFile));
    };
    PXAudioRouter router(stateFile);
    router.useSystemAudio();
    afterOneSecond();
    router.restore();
    const PXAudioRouteState routed{"Built-in Output_UID", "Built-in Microphone_UID",
                                   "kvt-Multi-Output_UID"};
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::pair(std::string("'dIn '"), std::optional(routed)));
    EXPECT_EQ(seen[1], std::pair(std::string("'dOut'"), std::optional(routed)));

    seen.clear();
    const auto lineIn = addDevice("Line In", 2, 0);
    fake->setDefaultDevice(fourCC("dIn "), lineIn);
    router.switchMode(PXInputMode::microphone);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second, (PXAudioRouteState{std::nullopt, "Line In_UID", std::nullopt}));
}

// The caller learns whether the session's sound reaches the recorder: for system sound once the
// aggregate is the output, a second after the call.
TEST_F(PXAudioRouterTest, TheRoutingCallsSayWhetherTheSoundIsRouted) {
    struct Case {
        std::string name;
        std::function<void(PXAudioRouter&)> prepare;
        PXInputMode mode;
        bool routed;
    };
    const std::vector<Case> cases = {
        {"system sound", [](PXAudioRouter&) {}, PXInputMode::system, true},
        {"no loopback", [&](PXAudioRouter&) { fake->removeDevice(loopback); }, PXInputMode::system,
         false},
        {"loopback refused as input",
         [&](PXAudioRouter&) {
             fake->failNext(coreaudio::kSystemObject, kDefaultInput, status::unspecified, 1,
                            Operation::Set);
         },
         PXInputMode::system, false},
        {"aggregate not created",
         [&](PXAudioRouter&) { fake->failNextAggregateCreation(status::unspecified); },
         PXInputMode::system, false},
        {"aggregate refused as output",
         [&](PXAudioRouter&) {
             fake->failNext(coreaudio::kSystemObject, kDefaultOutput, status::unspecified, 1,
                            Operation::Set);
         },
         PXInputMode::system, false},
        {"microphone", [](PXAudioRouter&) {}, PXInputMode::microphone, true},
        {"microphone refused as input",
         [&](PXAudioRouter&) {
             fake->setDefaultDevice(fourCC("dIn "), speakers);
             fake->failNext(coreaudio::kSystemObject, kDefaultInput, status::unspecified, 1,
                            Operation::Set);
         },
         PXInputMode::microphone, false},
        // Nothing to switch: the session records the default input as it is.
        {"no microphone", [&](PXAudioRouter&) { fake->removeDevice(microphone); },
         PXInputMode::microphone, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PXAudioRouter router(stateFile);
        c.prepare(router);
        std::vector<bool> outcomes;
        router.switchMode(c.mode, [&](bool routed) { outcomes.push_back(routed); });
        if (c.mode == PXInputMode::system) {
            settle();
            EXPECT_TRUE(outcomes.empty() || !c.routed);
            afterOneSecond();
        }
        EXPECT_EQ(outcomes, std::vector<bool>{c.routed});
        router.restore();
        settle();
        fake = watched = std::make_shared<WatchedDefaults>();
        coreaudio::installBackend(fake);
        speakers = addDevice("Built-in Output", 0, 2);
        microphone = addDevice("Built-in Microphone", 1, 0);
        loopback = addDevice("velqoOutput 2ch", 2, 2);
        fake->setDefaultDevice(fourCC("dOut"), speakers);
        fake->setDefaultDevice(fourCC("dIn "), microphone);
    }

    // A restore before the activation: the sound never reached the recorder.
    PXAudioRouter router(stateFile);
    std::vector<bool> outcomes;
    router.useSystemAudio([&](bool routed) { outcomes.push_back(routed); });
    router.restore();
    afterOneSecond();
    EXPECT_EQ(outcomes, std::vector<bool>{false});
}

TEST_F(PXAudioRouterTest, FindMicrophoneByName) {
    struct Case {
        std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>>
            devices;  // name, in, out
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{{"USB MICROPHONE", 1, 0}}, "USB MICROPHONE"},
        {{{"MacBook Pro麦克风", 1, 0}}, "MacBook Pro麦克风"},
        {{{"Speakers", 0, 2}, {"Line In", 2, 0}}, std::nullopt},
        // A device that can record wins over a playing one listed before it.
        {{{"Microphone Monitor", 0, 2}, {"Studio Microphone", 1, 0}}, "Studio Microphone"},
        // A playing one is still found when nothing else matches.
        {{{"Microphone Monitor", 0, 2}}, "Microphone Monitor"},
    };
    for (const auto& c : cases) {
        // A hardware of its own keeps the fixture's devices out of the way.
        auto isolated = std::make_shared<coreaudio::FakeAudioHardware>();
        coreaudio::installBackend(isolated);
        for (const auto& [name, in, out] : c.devices) {
            isolated->addDevice(coreaudio::FakeDeviceSetup::named(name, in, out));
        }
        PXAudioRouter router(stateFile);
        const auto found = router.findMicrophone();
        EXPECT_EQ(found ? std::optional(*found->name()) : std::nullopt, c.expected);
        settle();
    }
    coreaudio::installBackend(fake);

    // An aggregate whose name says microphone is passed over.
    const auto studio = addDevice("Studio Microphone", 1, 0);
    AudioObjectID aggregate = 0;
    ASSERT_EQ(
        coreaudio::createAggregateDevice({{"name", "Aggregate Microphone"},
                                          {"uid", "Agg_UID"},
                                          {"subdevices", {{{"uid", "Studio Microphone_UID"}}}}},
                                         aggregate),
        0);
    fake->removeDevice(microphone);
    PXAudioRouter router(stateFile);
    EXPECT_EQ(router.findMicrophone(), AudioDevice::lookup(studio));
    ASSERT_EQ(coreaudio::destroyAggregateDevice(aggregate), 0);
    fake->removeDevice(studio);
    EXPECT_EQ(router.findMicrophone(), nullptr);
    router.switchMode(PXInputMode::microphone);
    EXPECT_EQ(newLines().back(), "❌ 未找到麦克风设备");
}

TEST_F(PXAudioRouterTest, TheLoopbackNameIsExactAndLookedUpWhenNeeded) {
    fake->removeDevice(loopback);
    addDevice("velqoOutput 2CH", 2, 2);
    PXAudioRouter router(stateFile);
    EXPECT_EQ(router.blackHoleDevice(), nullptr);
    fake->clearOperations();
    router.useSystemAudio();
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 找不到合法的 BlackHole 或输出设备"});
    EXPECT_TRUE(hardwareChanges().empty());

    // Installed while the router lives, it is used by the next session.
    const AudioObjectID late = addDevice("velqoOutput 2ch", 2, 2);
    router.useSystemAudio();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"✅ 设置 BlackHole 为默认输入", created()}));
    EXPECT_EQ(router.blackHoleDevice(), AudioDevice::lookup(late));
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), late);
    router.restore();
    newLines();

    // Removed while the router lives, it is not used any more.
    fake->removeDevice(late);
    fake->clearOperations();
    router.useSystemAudio();
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 找不到合法的 BlackHole 或输出设备"});
    EXPECT_EQ(router.blackHoleDevice(), nullptr);
    EXPECT_TRUE(hardwareChanges().empty());
}

TEST_F(PXAudioRouterTest, CreatingTheLoopbackReportsItsOutcomeOnTheMainQueue) {
    fake->removeDevice(loopback);
    struct Case {
        std::optional<coreaudio::AudioStatus> failure;
        coreaudio::AudioStatus outcome;
        std::string line;
    };
    const std::vector<Case> cases = {
        {status::unsupportedOperation, status::unsupportedOperation,
         "❌ 创建回环设备失败，状态码: " + statusLine(status::unsupportedOperation)},
        {coreaudio::AudioStatus{-50}, coreaudio::AudioStatus{-50},
         "❌ 创建回环设备失败，状态码: -50 (0xFFFFFFCE)"},
        {std::nullopt, status::ok, "✅ 成功创建回环设备：velqoOutput 2ch"},
    };
    PXAudioRouter router(stateFile);
    for (const Case& c : cases) {
        if (c.failure) fake->failNextLoopbackCreation(*c.failure);
        std::optional<coreaudio::AudioStatus> outcome;
        bool onMainThread = false;
        router.createLoopbackDevice([&](coreaudio::AudioStatus status) {
            outcome = status;
            onMainThread = MainQueue::isMainThread();
        });
        EXPECT_FALSE(outcome);  // never answered inline: the server may be slow
        ASSERT_TRUE(MainQueue::runUntil([&] { return outcome.has_value(); }));
        EXPECT_EQ(*outcome, c.outcome);
        EXPECT_TRUE(onMainThread);
        EXPECT_EQ(newLines(), std::vector<std::string>{c.line});
        EXPECT_EQ(router.blackHoleDevice() != nullptr, c.outcome == status::ok);
    }
    // The created loopback is the one the router routes through.
    router.useSystemAudio();
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), router.blackHoleDevice()->objectID());
    EXPECT_EQ(fake->aggregateDescriptions().back()["master"], "velqoOutput 2ch_UID");
}

TEST_F(PXAudioRouterTest, ACreationAnsweredAfterTheRouterWentAwayCallsNothing) {
    fake->removeDevice(loopback);
    bool called = false;
    {
        PXAudioRouter router(stateFile);
        router.createLoopbackDevice([&](coreaudio::AudioStatus) { called = true; });
    }
    // The creation still runs to its end on its worker; once the worker is done its answer is
    // on the main queue, and running it calls nothing.
    std::atomic<bool> workerDone = false;
    DispatchQueue::global(QualityOfService::UserInitiated).asyncBarrier([&] { workerDone = true; });
    ASSERT_TRUE(MainQueue::runUntil([&] { return workerDone.load(); }));
    settle();
    EXPECT_FALSE(called);
    const auto operations = fake->operations();
    EXPECT_NE(std::find(operations.begin(), operations.end(), "CreateLoopback velqoOutput 2ch"),
              operations.end());
}

TEST_F(PXAudioRouterTest, AMicrophoneSessionOnTheCurrentDefaultChangesNothingOnRestore) {
    PXAudioRouter router(stateFile);
    router.switchMode(PXInputMode::microphone);
    EXPECT_EQ(router.mode(), PXInputMode::microphone);
    fake->clearOperations();
    router.restore();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 切换到麦克风输入：Built-in Microphone",
                                        "⚠️ 没有找到需要销毁的聚合设备"}));
    EXPECT_TRUE(hardwareChanges().empty());

    // From another input, the microphone session puts that input back.
    const auto lineIn = addDevice("Line In", 2, 0);
    fake->setDefaultDevice(fourCC("dIn "), lineIn);
    router.switchMode(PXInputMode::microphone);
    router.restore();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 切换到麦克风输入：Built-in Microphone",
                                        "✅ 恢复原始输入设备：Line In",
                                        "⚠️ 没有找到需要销毁的聚合设备"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), lineIn);

    // The loopback as the default input is what an unfinished system-sound session left: it is
    // never put back.
    fake->setDefaultDevice(fourCC("dIn "), loopback);
    router.switchMode(PXInputMode::microphone);
    router.restore();
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"✅ 切换到麦克风输入：Built-in Microphone",
                                        "⚠️ 没有找到需要销毁的聚合设备"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);

    router.switchMode(PXInputMode::screenCapture);
    EXPECT_EQ(newLines(), std::vector<std::string>{"✅ 切换为录屏"});
    EXPECT_EQ(router.mode(), PXInputMode::screenCapture);
}

TEST_F(PXAudioRouterTest, RestorePutsBackTheOutputOfTheSessionNotOfTheStart) {
    PXAudioRouter router(stateFile);  // sees the built-in output as the default
    const auto headphones = addDevice("Headphones", 0, 2);
    fake->setDefaultDevice(fourCC("dOut"), headphones);
    router.switchMode(PXInputMode::system);
    EXPECT_EQ(router.mode(), PXInputMode::system);
    afterOneSecond();
    router.restore();
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), headphones);
    EXPECT_EQ(fake->aggregateDescriptions().back()["subdevices"][1]["uid"], "Headphones_UID");
}

TEST_F(PXAudioRouterTest, RestoreCancelsAPendingActivation) {
    PXAudioRouter router(stateFile);
    router.useSystemAudio();
    newLines();
    router.restore();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"✅ 恢复原始输入设备：Built-in Microphone",
                                                    "🗑️ 聚合设备销毁成功"}));
    afterOneSecond();
    EXPECT_TRUE(newLines().empty());
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
}

TEST_F(PXAudioRouterTest, AFailedDestructionIsReportedWithItsStatus) {
    PXAudioRouter router(stateFile);
    router.useSystemAudio();
    afterOneSecond();
    newLines();
    fake->failNextAggregateDestruction(status::badObject);
    router.destroyAggregateDevice();
    EXPECT_EQ(newLines(), std::vector<std::string>{"❌ 聚合设备销毁失败，状态码: " +
                                                   statusLine(status::badObject)});
}

TEST_F(PXAudioRouterTest, AnAggregateLeftWithoutStateIsRemovedAndBothDefaultsPutBack) {
    AudioObjectID leftover = 0;
    ASSERT_EQ(
        coreaudio::createAggregateDevice(
            {{"name", "kvt Multi-Output"},
             {"uid", "kvt-Multi-Output_UID"},
             {"subdevices", {{{"uid", "velqoOutput 2ch_UID"}}, {{"uid", "Built-in Output_UID"}}}},
             {"master", "velqoOutput 2ch_UID"},
             {"stacked", 1}},
            leftover),
        0);
    fake->setDefaultDevice(fourCC("dOut"), leftover);
    fake->setDefaultDevice(fourCC("dIn "), loopback);

    PXAudioRouter router(stateFile);
    EXPECT_EQ(newLines(),
              (std::vector<std::string>{"⚠️ 发现遗留的聚合设备", "✅ 恢复原始输出设备",
                                        "✅ 恢复原始输入设备：Built-in Microphone",
                                        "🗑️ 聚合设备销毁成功"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
    EXPECT_EQ(router.currentOutputDevice(), AudioDevice::lookup(speakers));
    EXPECT_FALSE(fake->hasObject(leftover));

    router.useSystemAudio();
    EXPECT_EQ(newLines(), (std::vector<std::string>{"✅ 设置 BlackHole 为默认输入", created()}));
    afterOneSecond();
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), aggregateID());
}

TEST_F(PXAudioRouterTest, TheUsersDevicesAreKeptOnDiskWhileRoutedAndForgottenOnRestore) {
    PXAudioRouter router(stateFile);
    EXPECT_FALSE(std::filesystem::exists(stateFile));
    router.useSystemAudio();
    const PXAudioRouteState routed{"Built-in Output_UID", "Built-in Microphone_UID",
                                   "kvt-Multi-Output_UID"};
    EXPECT_EQ(PXAudioRouteState::load(stateFile), routed);
    EXPECT_EQ(std::filesystem::status(stateFile).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    afterOneSecond();
    EXPECT_EQ(PXAudioRouteState::load(stateFile), routed);
    router.restore();
    EXPECT_FALSE(std::filesystem::exists(stateFile));

    // A microphone session records the input only.
    const auto lineIn = addDevice("Line In", 2, 0);
    fake->setDefaultDevice(fourCC("dIn "), lineIn);
    router.switchMode(PXInputMode::microphone);
    EXPECT_EQ(PXAudioRouteState::load(stateFile),
              (PXAudioRouteState{std::nullopt, "Line In_UID", std::nullopt}));

    // A restore that could not put everything back keeps the file for the next start.
    fake->failNext(coreaudio::kSystemObject, kDefaultInput, status::unspecified, 1, Operation::Set);
    router.restore();
    EXPECT_TRUE(std::filesystem::exists(stateFile));
}

// A run that ended mid-session (crashed, killed) never restored: the next router, made at start,
// puts the user's devices back, removes the aggregate and the file.
TEST_F(PXAudioRouterTest, ARunThatEndedMidSessionIsUndoneByTheNextRouter) {
    const AudioObjectID lineIn = addDevice("Line In", 2, 0);
    struct Case {
        std::string name;
        std::function<void(PXAudioRouter&)> session;
        AudioObjectID inputBefore;
        std::vector<std::string> recovery;
    };
    const std::vector<Case> cases = {
        {"system sound, routed",
         [&](PXAudioRouter& router) {
             router.switchMode(PXInputMode::system);
             afterOneSecond();
         },
         microphone,
         {"⚠️ 发现遗留的聚合设备", "✅ 恢复原始输出设备",
          "✅ 恢复原始输入设备：Built-in Microphone", "🗑️ 聚合设备销毁成功"}},
        {"system sound, before the aggregate became the output",
         [&](PXAudioRouter& router) { router.switchMode(PXInputMode::system); },
         lineIn,
         {"⚠️ 发现遗留的聚合设备", "✅ 恢复原始输入设备：Line In",
          "🗑️ 聚合设备销毁成功"}},
        {"microphone",
         [&](PXAudioRouter& router) { router.switchMode(PXInputMode::microphone); },
         lineIn,
         {"⚠️ 发现上次未恢复的音频设备", "✅ 恢复原始输入设备：Line In"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake->setDefaultDevice(fourCC("dIn "), c.inputBefore);
        {
            PXAudioRouter crashed(stateFile);
            c.session(crashed);
        }  // gone without a restore, as a killed process is
        settle();
        ASSERT_TRUE(std::filesystem::exists(stateFile));
        newLines();

        PXAudioRouter next(stateFile);
        EXPECT_EQ(newLines(), c.recovery);
        EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
        EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), c.inputBefore);
        EXPECT_EQ(aggregateID(), coreaudio::kNoObject);
        EXPECT_FALSE(std::filesystem::exists(stateFile));
        // The pending activation of the run that ended must not switch anything later.
        afterOneSecond();
        EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
    }
}

// What the file cannot tell is taken from the leftover itself: the aggregate's real subdevice
// as the output, a microphone in place of the loopback as the input.
TEST_F(PXAudioRouterTest, ADamagedOrStaleStateFileStillLeadsToTheLeftoverBeingUndone) {
    for (const std::string& content :
         {std::string("{\"defaultOutput\": 7"), std::string("[]"), std::string(70000, ' '),
          std::string(R"({"defaultOutput": "gone_UID", "defaultInput": "velqoOutput 2ch_UID"})")}) {
        SCOPED_TRACE(content.substr(0, 80));
        AudioObjectID leftover = 0;
        ASSERT_EQ(coreaudio::createAggregateDevice(
                      {{"name", "kvt Multi-Output"},
                       {"uid", "kvt-Multi-Output_UID"},
                       {"subdevices",
                        {{{"uid", "velqoOutput 2ch_UID"}}, {{"uid", "Built-in Output_UID"}}}},
                       {"stacked", 1}},
                      leftover),
                  0);
        fake->setDefaultDevice(fourCC("dOut"), leftover);
        fake->setDefaultDevice(fourCC("dIn "), loopback);
        ASSERT_FALSE(AtomicFile::write(stateFile, content));

        PXAudioRouter router(stateFile);
        EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
        EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
        EXPECT_FALSE(fake->hasObject(leftover));
        EXPECT_FALSE(std::filesystem::exists(stateFile));
        settle();
    }
}

// A run whose restore found nothing to put back while a late write still made the loopback the
// default input left no file: the next start puts a microphone back all the same.
TEST_F(PXAudioRouterTest, ALoopbackLeftAsTheDefaultInputIsReplacedAtStart) {
    fake->setDefaultDevice(fourCC("dIn "), loopback);
    PXAudioRouter router(stateFile);
    EXPECT_EQ(newLines(), (std::vector<std::string>{"⚠️ 发现上次未恢复的音频设备",
                                                    "✅ 恢复原始输入设备：Built-in Microphone"}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dIn ")), microphone);
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), speakers);
    EXPECT_FALSE(std::filesystem::exists(stateFile));
}

TEST_F(PXAudioRouterTest, WithoutASoundServerTheStateFileWaitsForTheNextRun) {
    const PXAudioRouteState routed{"Built-in Output_UID", "Built-in Microphone_UID",
                                   "kvt-Multi-Output_UID"};
    ASSERT_FALSE(routed.save(stateFile));
    coreaudio::installBackend(nullptr);
    {
        PXAudioRouter router(stateFile);
        EXPECT_TRUE(newLines().empty());
    }
    settle();
    EXPECT_EQ(PXAudioRouteState::load(stateFile), routed);
    coreaudio::installBackend(fake);
}

}  // namespace
}  // namespace pex::test
