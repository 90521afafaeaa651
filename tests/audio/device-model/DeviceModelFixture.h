#pragma once
// A fresh fake audio hardware per test, the model's two logs captured separately, and the
// notifications the model posts collected on the main thread.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "audio/device-model/AudioLog.h"
#include "platform/coreaudio/FakeAudioHardware.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex::test {

using coreaudio::fourCC;

struct Posted {
    std::string name;
    const void* sender;
    nlohmann::json userInfo;
    bool onMainThread;
};

class DeviceModelTest : public ::testing::Test {
  protected:
    DeviceModelTest() {
        coreaudio::installBackend(fake);
        previousModelSink = AudioLog::model().setSink(capture(modelLog));
        previousSystemSink = AudioLog::system().setSink(capture(systemLog));
    }
    ~DeviceModelTest() override {
        settle();
        AudioLog::model().setSink(previousModelSink);
        AudioLog::system().setSink(previousSystemSink);
        coreaudio::installBackend(nullptr);
    }

    // Lets every reported change reach its listener and every posting run on the main queue.
    void settle() {
        coreaudio::drainNotifications();
        MainQueue::drain();
    }

    coreaudio::AudioObjectID addDevice(const std::string& name, std::uint32_t in = 0,
                                       std::uint32_t out = 2) {
        return fake->addDevice(coreaudio::FakeDeviceSetup::named(name, in, out));
    }

    // Collects every posting of `name` while the test runs.
    std::vector<Posted>& observe(const std::string& name) {
        auto& list = posted[name];
        observers.emplace_back(NotificationCenter::defaultCenter(),
                               NotificationCenter::defaultCenter().addObserver(
                                   name, nullptr, [&list](const Notification& note) {
                                       list.push_back({note.name, note.sender, note.userInfo,
                                                       MainQueue::isMainThread()});
                                   }));
        return list;
    }

    std::vector<std::string> lines(const std::vector<std::string>& log) {
        std::lock_guard lock(logMutex);
        return log;
    }

    std::shared_ptr<coreaudio::FakeAudioHardware> fake =
        std::make_shared<coreaudio::FakeAudioHardware>();
    std::mutex logMutex;
    std::vector<std::string> modelLog;
    std::vector<std::string> systemLog;
    std::map<std::string, std::vector<Posted>> posted;
    std::vector<ScopedObserver> observers;

  private:
    AudioLog::Sink capture(std::vector<std::string>& into) {
        return [this, &into](LogLevel level, const std::string& message) {
            std::lock_guard lock(logMutex);
            into.push_back((level == LogLevel::debug ? "debug: " : "default: ") + message);
        };
    }
    AudioLog::Sink previousModelSink;
    AudioLog::Sink previousSystemSink;
};

}  // namespace pex::test
