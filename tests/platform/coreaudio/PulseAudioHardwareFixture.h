#pragma once
// A private PulseAudio daemon with the devices of a typical interview machine (see
// InterviewAudio.h), with the PulseAudio backend installed in the hardware layer. Helpers read and
// write through the layer's own calls.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/InterviewAudio.h"
#include "platform/coreaudio/PropertyString.h"
#include "platform/coreaudio/PulseAudioHardware.h"
#include "support/PulseAudioServer.h"

namespace pex::test {

using coreaudio::AudioObjectID;
using coreaudio::AudioObjectPropertyAddress;
using coreaudio::AudioStatus;
using coreaudio::fourCC;

inline AudioObjectPropertyAddress global(const char* selector) {
    return {fourCC(selector), coreaudio::scope::global, 0};
}
inline AudioObjectPropertyAddress output(const char* selector, std::uint32_t element = 0) {
    return {fourCC(selector), coreaudio::scope::output, element};
}
inline AudioObjectPropertyAddress input(const char* selector, std::uint32_t element = 0) {
    return {fourCC(selector), coreaudio::scope::input, element};
}

class PulseAudioHardwareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning()) << server.log();
        addInterviewDevices(server, withLoopback);
        if (HasFatalFailure()) return;
        hardware = coreaudio::PulseAudioHardware::connect();
        ASSERT_NE(hardware, nullptr);
        coreaudio::installBackend(hardware);
    }

    void TearDown() override {
        coreaudio::drainNotifications();
        coreaudio::installBackend(nullptr);
        hardware.reset();
    }

    int pactl(std::vector<std::string> arguments) {
        return test::pactl(server, std::move(arguments));
    }

    // A device description as it was given, from what the server shows: PipeWire's server
    // keeps the backslashes that escape quotes and backslashes in a module argument.
    std::string describedAs(const std::string& shown) const {
        if (server.kind() != PulseAudioServer::Kind::PipeWire) return shown;
        std::string given;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (shown[i] == '\\' && i + 1 < shown.size()) ++i;
            given += shown[i];
        }
        return given;
    }

    std::vector<AudioObjectID> ids(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   std::vector<coreaudio::AudioClassID> qualifier = {}) {
        const auto qualifierSize = static_cast<std::uint32_t>(qualifier.size() * 4);
        std::uint32_t size = 0;
        if (coreaudio::getPropertyDataSize(object, address, qualifierSize, qualifier.data(),
                                           size) != 0) {
            return {};
        }
        std::vector<AudioObjectID> result(size / 4);
        if (coreaudio::getPropertyData(object, address, qualifierSize, qualifier.data(), size,
                                       result.data()) != 0) {
            return {};
        }
        result.resize(size / 4);
        return result;
    }

    std::vector<AudioObjectID> devices() { return ids(coreaudio::kSystemObject, global("dev#")); }

    std::string text(AudioObjectID object, const AudioObjectPropertyAddress& address) {
        coreaudio::PropertyString value;
        std::uint32_t size = sizeof(value);
        if (coreaudio::getPropertyData(object, address, 0, nullptr, size, &value) != 0) {
            return "<absent>";
        }
        return value.str();
    }

    template <typename T>
    std::optional<T> read(AudioObjectID object, const AudioObjectPropertyAddress& address) {
        T value{};
        std::uint32_t size = sizeof(T);
        if (coreaudio::getPropertyData(object, address, 0, nullptr, size, &value) != 0) {
            return std::nullopt;
        }
        return value;
    }

    template <typename T>
    AudioStatus write(AudioObjectID object, const AudioObjectPropertyAddress& address, T value) {
        return coreaudio::setPropertyData(object, address, 0, nullptr, sizeof(T), &value);
    }

    AudioObjectID deviceWithUID(const std::string& uid) {
        for (AudioObjectID id : devices()) {
            if (text(id, global("uid ")) == uid) return id;
        }
        return coreaudio::kNoObject;
    }

    // The channels of a device's streams in one scope.
    std::uint32_t channels(AudioObjectID device, std::uint32_t scopeCode) {
        std::uint32_t total = 0;
        for (AudioObjectID stream : ids(device, {fourCC("stm#"), scopeCode, 0})) {
            const auto format = read<coreaudio::AudioStreamBasicDescription>(
                stream, {fourCC("pft "), scopeCode, 0});
            if (format) total += format->mChannelsPerFrame;
        }
        return total;
    }

    PulseAudioServer server{noDevices()};
    std::shared_ptr<coreaudio::PulseAudioHardware> hardware;
    // A fixture sets this false (before SetUp) for a machine without the loopback.
    bool withLoopback = true;
};

// Collects the changes the layer hands to its listener; the registrations end with it.
class ChangeLog {
  public:
    ChangeLog() = default;
    ChangeLog(const ChangeLog&) = delete;
    ChangeLog& operator=(const ChangeLog&) = delete;
    ~ChangeLog() {
        for (AudioObjectID object : watched_) {
            coreaudio::removePropertyListener(object, coreaudio::kEveryProperty,
                                              &ChangeLog::listener, this);
        }
    }

    AudioStatus watch(AudioObjectID object) {
        watched_.push_back(object);
        return coreaudio::addPropertyListener(object, coreaudio::kEveryProperty,
                                              &ChangeLog::listener, this);
    }

    static AudioStatus listener(AudioObjectID object, std::uint32_t count,
                                const AudioObjectPropertyAddress* addresses, void* self) {
        auto& log = *static_cast<ChangeLog*>(self);
        std::lock_guard lock(log.mutex_);
        for (std::uint32_t i = 0; i < count; ++i) log.seen_.push_back({object, addresses[i]});
        log.changed_.notify_all();
        return 0;
    }

    // Waits (bounded) until `object` reported `address`.
    bool waitFor(AudioObjectID object, const AudioObjectPropertyAddress& address) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            for (const auto& [who, what] : seen_) {
                if (who == object && what == address) return true;
            }
            return false;
        });
    }

    // Waits (bounded) until `done()` holds, looking again after every reported change.
    bool waitUntil(const std::function<bool()>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), done);
    }

  private:
    std::vector<AudioObjectID> watched_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<AudioObjectID, AudioObjectPropertyAddress>> seen_;
};

}  // namespace pex::test
