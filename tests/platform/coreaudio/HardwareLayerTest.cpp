// The layer's contract: calls reach the installed backend, listeners run on one notification
// thread, serially, may call back in, removal waits for a call in progress, and removing the
// backend ends the notification thread.
#include "platform/coreaudio/HardwareLayer.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/coreaudio/FakeAudioHardware.h"
#include "platform/coreaudio/PropertyString.h"

namespace pex::coreaudio {
namespace {

const AudioObjectPropertyAddress kName{fourCC("lnam"), scope::global, kElementMain};
const AudioObjectPropertyAddress kVolume2{fourCC("volm"), scope::output, 2};

// What a listener saw, and a way to hold it inside its call.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<AudioObjectPropertyAddress>> calls;
    std::set<std::thread::id> threads;
    pid_t systemThread = 0;  // the kernel's id of the calling thread
    int concurrent = 0;
    int maxConcurrent = 0;
    bool blockInCall = false;
    bool inCall = false;
    bool release = false;
    std::optional<std::string> nameReadInside;

    static AudioStatus proc(AudioObjectID object, std::uint32_t count,
                            const AudioObjectPropertyAddress* addresses, void* client) {
        auto& self = *static_cast<Recorder*>(client);
        std::unique_lock lock(self.mutex);
        self.maxConcurrent = std::max(self.maxConcurrent, ++self.concurrent);
        self.threads.insert(std::this_thread::get_id());
        self.systemThread = gettid();
        self.calls.emplace_back(addresses, addresses + count);
        if (self.blockInCall) {
            self.inCall = true;
            self.changed.notify_all();
            self.changed.wait(lock, [&] { return self.release; });
        }
        lock.unlock();
        // Calling back into the layer from a listener must not deadlock.
        PropertyString name;
        std::uint32_t size = sizeof(name);
        if (getPropertyData(object, kName, 0, nullptr, size, &name) == status::ok) {
            lock.lock();
            self.nameReadInside = name.str();
            lock.unlock();
        }
        lock.lock();
        --self.concurrent;
        self.inCall = false;
        self.changed.notify_all();
        return status::ok;
    }
};

class HardwareLayerTest : public ::testing::Test {
  protected:
    HardwareLayerTest() { installBackend(fake); }
    ~HardwareLayerTest() override {
        drainNotifications();
        installBackend(nullptr);
    }
    std::shared_ptr<FakeAudioHardware> fake = std::make_shared<FakeAudioHardware>();
};

TEST(HardwareLayerWithoutBackend, EveryCallFailsAsNotRunning) {
    installBackend(nullptr);
    std::uint32_t size = 0;
    std::uint32_t value = 0;
    bool settable = false;
    AudioObjectID created = 0;
    EXPECT_FALSE(hasProperty(kSystemObject, kName));
    EXPECT_EQ(getPropertyDataSize(kSystemObject, kName, 0, nullptr, size), status::notRunning);
    EXPECT_EQ(getPropertyData(kSystemObject, kName, 0, nullptr, size, &value), status::notRunning);
    EXPECT_EQ(setPropertyData(kSystemObject, kName, 0, nullptr, 4, &value), status::notRunning);
    EXPECT_EQ(isPropertySettable(kSystemObject, kName, settable), status::notRunning);
    EXPECT_EQ(createAggregateDevice(nlohmann::json::object(), created), status::notRunning);
    EXPECT_EQ(destroyAggregateDevice(5), status::notRunning);
}

TEST_F(HardwareLayerTest, ListenersGetOnlyMatchingAddressesOnOneThreadOneCallAtATime) {
    FakeDeviceSetup setup;
    setup.name = "Speakers";
    const AudioObjectID device = fake->addDevice(setup);
    Recorder everything;
    Recorder volumeOnly;
    ASSERT_EQ(addPropertyListener(device, kEveryProperty, Recorder::proc, &everything), status::ok);
    ASSERT_EQ(addPropertyListener(device, {fourCC("volm"), scope::wildcard, kElementWildcard},
                                  Recorder::proc, &volumeOnly),
              status::ok);
    // A second identical registration is kept once.
    ASSERT_EQ(addPropertyListener(device, kEveryProperty, Recorder::proc, &everything), status::ok);
    EXPECT_EQ(listenerCount(device), 2u);

    for (int i = 0; i < 20; ++i) fake->emit(device, {kName, kVolume2});
    fake->emit(device, {kName});
    drainNotifications();

    EXPECT_EQ(everything.calls.size(), 21u);
    EXPECT_EQ(everything.calls.front(), (std::vector{kName, kVolume2}));
    ASSERT_EQ(volumeOnly.calls.size(), 20u);
    EXPECT_EQ(volumeOnly.calls.front(), std::vector{kVolume2});
    std::set<std::thread::id> threads = everything.threads;
    threads.insert(volumeOnly.threads.begin(), volumeOnly.threads.end());
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_FALSE(threads.count(std::this_thread::get_id()));
    EXPECT_EQ(everything.maxConcurrent, 1);
    EXPECT_EQ(everything.nameReadInside, "Speakers");

    EXPECT_EQ(removePropertyListener(device, kEveryProperty, Recorder::proc, &everything),
              status::ok);
    EXPECT_EQ(removePropertyListener(device, kEveryProperty, Recorder::proc, &everything),
              status::illegalOperation);
    fake->emit(device, {kName});
    drainNotifications();
    EXPECT_EQ(everything.calls.size(), 21u);
    removePropertyListener(device, {fourCC("volm"), scope::wildcard, kElementWildcard},
                           Recorder::proc, &volumeOnly);
}

TEST_F(HardwareLayerTest, RemovalWaitsForTheCallInProgress) {
    const AudioObjectID device = fake->addDevice({});
    Recorder recorder;
    recorder.blockInCall = true;
    ASSERT_EQ(addPropertyListener(device, kEveryProperty, Recorder::proc, &recorder), status::ok);
    fake->emit(device, {kName});
    {
        std::unique_lock lock(recorder.mutex);
        recorder.changed.wait(lock, [&] { return recorder.inCall; });
    }
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        removePropertyListener(device, kEveryProperty, Recorder::proc, &recorder);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // give a wrong removal time
    EXPECT_FALSE(removed);
    {
        std::lock_guard lock(recorder.mutex);
        recorder.release = true;
        recorder.changed.notify_all();
    }
    remover.join();
    EXPECT_TRUE(removed);
    std::lock_guard lock(recorder.mutex);
    EXPECT_FALSE(recorder.inCall);
}

// The end of the run removes the backend: a change it reported is still delivered, and no
// notification thread is left to run while the process tears down its static objects.
TEST_F(HardwareLayerTest, RemovingTheBackendDeliversItsLastChangeAndEndsTheThread) {
    const AudioObjectID device = fake->addDevice({});
    Recorder recorder;
    recorder.blockInCall = true;
    ASSERT_EQ(addPropertyListener(device, kEveryProperty, Recorder::proc, &recorder), status::ok);
    pid_t listenerThread = 0;
    fake->emit(device, {kName});
    {
        std::unique_lock lock(recorder.mutex);
        recorder.changed.wait(lock, [&] { return recorder.inCall; });
    }
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        installBackend(nullptr);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // give a wrong removal time
    EXPECT_FALSE(removed);
    {
        std::lock_guard lock(recorder.mutex);
        listenerThread = recorder.systemThread;
        recorder.release = true;
        recorder.changed.notify_all();
    }
    remover.join();
    EXPECT_EQ(recorder.calls.size(), 1u);
    EXPECT_FALSE(recorder.inCall);
    ASSERT_NE(listenerThread, 0);
    EXPECT_FALSE(std::filesystem::exists("/proc/self/task/" + std::to_string(listenerThread)))
        << "the notification thread still runs";

    // The next backend's changes get a thread again.
    recorder.blockInCall = false;
    installBackend(fake);
    fake->emit(device, {kName});
    drainNotifications();
    EXPECT_EQ(recorder.calls.size(), 2u);
    removePropertyListener(device, kEveryProperty, Recorder::proc, &recorder);
}

struct SelfRemover {
    AudioObjectID device = 0;
    std::atomic<int> calls{0};
    std::atomic<AudioStatus> removal{-1};
    static AudioStatus proc(AudioObjectID, std::uint32_t, const AudioObjectPropertyAddress*,
                            void* client) {
        auto& self = *static_cast<SelfRemover*>(client);
        ++self.calls;
        self.removal = removePropertyListener(self.device, kEveryProperty, proc, client);
        return status::ok;
    }
};

TEST_F(HardwareLayerTest, AListenerMayRemoveItselfFromInsideItsCall) {
    SelfRemover remover;
    remover.device = fake->addDevice({});
    ASSERT_EQ(addPropertyListener(remover.device, kEveryProperty, SelfRemover::proc, &remover),
              status::ok);
    fake->emit(remover.device, {kName});
    fake->emit(remover.device, {kName});
    drainNotifications();
    EXPECT_EQ(remover.calls, 1);
    EXPECT_EQ(remover.removal, status::ok);
}

TEST_F(HardwareLayerTest, RefusedRegistrationsAreNotKept) {
    const AudioObjectID device = fake->addDevice({});
    Recorder recorder;
    EXPECT_EQ(addPropertyListener(999999, kEveryProperty, Recorder::proc, &recorder),
              status::badObject);
    fake->failNext(device, kEveryProperty, status::unspecified, 1,
                   FakeAudioHardware::Operation::AddListener);
    EXPECT_EQ(addPropertyListener(device, kEveryProperty, Recorder::proc, &recorder),
              status::unspecified);
    EXPECT_EQ(listenerCount(device), 0u);

    ASSERT_EQ(addPropertyListener(device, kEveryProperty, Recorder::proc, &recorder), status::ok);
    fake->failNext(device, kEveryProperty, status::unspecified, 1,
                   FakeAudioHardware::Operation::RemoveListener);
    EXPECT_EQ(removePropertyListener(device, kEveryProperty, Recorder::proc, &recorder),
              status::unspecified);
    EXPECT_EQ(listenerCount(device), 1u);
    EXPECT_EQ(removePropertyListener(device, kEveryProperty, Recorder::proc, &recorder),
              status::ok);
}

}  // namespace
}  // namespace pex::coreaudio
