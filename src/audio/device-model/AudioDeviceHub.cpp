#include "audio/device-model/AudioDeviceHub.h"

#include <mutex>

namespace pex {

namespace {

// Facades may be made and dropped on any thread; one lock keeps the count and the shared
// hardware in step.
std::mutex& hubMutex() {
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<AudioHardware> gSharedHardware;
int gLiveInstanceCount = 0;

}  // namespace

AudioDeviceHub::AudioDeviceHub() {
    std::lock_guard lock(hubMutex());
    if (gLiveInstanceCount == 0) {
        gSharedHardware = std::make_shared<AudioHardware>();
        gSharedHardware->registerForNotifications();
        gSharedHardware->updateKnownDevices(gSharedHardware->allDevices(), {});
    }
    ++gLiveInstanceCount;
    hardware_ = gSharedHardware;
}

AudioDeviceHub::~AudioDeviceHub() {
    std::lock_guard lock(hubMutex());
    if (--gLiveInstanceCount == 0) {
        // The listener goes first: a list change it is still handling would otherwise add its
        // devices back after they were cleared.
        gSharedHardware->unregisterForNotifications();
        gSharedHardware->updateKnownDevices({}, gSharedHardware->allKnownDevices());
        gSharedHardware.reset();
    }
    hardware_.reset();
}

std::shared_ptr<AudioHardware> AudioDeviceHub::sharedHardware() {
    std::lock_guard lock(hubMutex());
    return gSharedHardware;
}

int AudioDeviceHub::liveInstanceCount() {
    std::lock_guard lock(hubMutex());
    return gLiveInstanceCount;
}

}  // namespace pex
