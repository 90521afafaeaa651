// Listener calls arrive on the notification thread while other threads look objects up and
// let them go: the pool keeps one object per ID, each with one listener, and nothing races
// (this program is also run under ThreadSanitizer).
#include <atomic>
#include <random>
#include <thread>

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/AudioStream.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using DeviceModelStressTest = DeviceModelTest;

TEST_F(DeviceModelStressTest, LookupsRaceListenerCalls) {
    std::vector<coreaudio::AudioObjectID> devices;
    for (int i = 0; i < 12; ++i) devices.push_back(addDevice("Device " + std::to_string(i), 1, 2));
    auto& volume = observe(AudioDeviceHubNotification::deviceVolumeDidChange);
    // Half the devices exist as objects before the storm, so their changes post.
    for (std::size_t i = 0; i < devices.size(); i += 2) AudioDevice::lookup(devices[i]);

    std::atomic<int> lookersLeft{4};
    std::atomic<int> rounds{0};
    std::thread emitter([&] {
        while (lookersLeft > 0 || rounds < 50) {
            for (auto id : devices) fake->emit(id, {{fourCC("volm"), coreaudio::scope::output, 1}});
            coreaudio::drainNotifications();  // keeps the listener busy while lookups run
            ++rounds;
        }
    });
    std::vector<std::thread> lookers;
    for (int t = 0; t < 4; ++t) {
        lookers.emplace_back([&, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            for (int i = 0; i < 300; ++i) {
                const auto id = devices[random() % devices.size()];
                auto device = AudioDevice::lookup(id);
                ASSERT_NE(device, nullptr);
                EXPECT_EQ(device->name()->rfind("Device ", 0), 0u);
                auto byUID = AudioDevice::lookupByUID(*device->name() + "_UID");
                EXPECT_EQ(byUID, device);
                auto stream = AudioStream::lookup(fake->streams(id, coreaudio::scope::input).at(0));
                ASSERT_NE(stream, nullptr);
                EXPECT_EQ(stream->direction(), Scope::input);
                EXPECT_EQ(stream->owningDevice(), device);
            }
            --lookersLeft;
        });
    }
    while (lookersLeft > 0) MainQueue::drain();
    emitter.join();
    for (auto& looker : lookers) looker.join();
    settle();

    for (auto id : devices) {
        EXPECT_EQ(coreaudio::listenerCount(id), 1u);
        EXPECT_EQ(AudioDevice::lookup(id), AudioDevice::lookup(id));
    }
    // Every change of a device that was pooled before the storm was posted.
    const auto emitted = static_cast<std::size_t>(rounds.load()) * devices.size();
    EXPECT_GE(volume.size(), emitted / 2);
    EXPECT_LE(volume.size(), emitted);
}

}  // namespace
}  // namespace pex::test
