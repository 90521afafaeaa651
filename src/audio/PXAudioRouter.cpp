#include "audio/PXAudioRouter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "audio/device-model/AudioNotifications.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

using coreaudio::AudioStatus;

// A hardware status as the router writes it: signed decimal, then its "0x%X" form.
std::string statusText(AudioStatus status) {
    char text[48];
    std::snprintf(text, sizeof text, "%d (0x%X)", status, static_cast<unsigned>(status));
    return text;
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool sameDevice(const std::shared_ptr<AudioDevice>& a, const std::shared_ptr<AudioDevice>& b) {
    return a && b && *a == *b;
}

bool hasMicrophoneName(AudioDevice& device) {
    const std::string name = lowercased(*device.name());
    return name.find("microphone") != std::string::npos || name.find("麦克风") != std::string::npos;
}

// A server that comes back loads its devices one by one; the route is put back once the list
// has been still for this long.
constexpr auto kRecoveryDelay = std::chrono::seconds(1);

}  // namespace

PXAudioRouter& PXAudioRouter::shared() {
    // lives as long as the process
    static PXAudioRouter* router = new PXAudioRouter(PXAudioRouteState::defaultFile());
    return *router;
}

PXAudioRouter::PXAudioRouter(std::filesystem::path stateFile)
    : stateFile_(std::move(stateFile)), hub_(std::make_unique<AudioDeviceHub>()) {
    for (const auto& device : hub_->allDevices()) knownDevices_.insert(device->objectID());
    serverGone_ = knownDevices_.empty();
    recoverLeftoverRouting();
    currentOutputDevice_ = hub_->defaultOutputDevice();
    findLoopback();
    // The hub posts on the main queue, where the router lives.
    NotificationCenter& centre = NotificationCenter::defaultCenter();
    deviceListObserver_ = ScopedObserver(
        centre,
        centre.addObserver(AudioDeviceHubNotification::deviceListChanged, nullptr,
                           [this](const Notification& note) { deviceListChanged(note.userInfo); }));
}

PXAudioRouter::~PXAudioRouter() = default;

// A sound server that went away (restarted, crashed) and came back has lost the aggregate and
// may name other defaults, or the loopback again: once its devices are back, what the state
// file recorded is put back as at start-up. The server's going shows as every known device
// removed (its devices come back under new object IDs), also when the list that says so
// already holds the devices of the server that is back.
void PXAudioRouter::deviceListChanged(const nlohmann::json& change) {
    std::set<coreaudio::AudioObjectID> removed;
    for (const auto& id : change.value("removedDevices", nlohmann::json::array())) {
        if (id.is_number_unsigned()) removed.insert(id.get<coreaudio::AudioObjectID>());
    }
    const bool everyKnownRemoved =
        !knownDevices_.empty() &&
        std::includes(removed.begin(), removed.end(), knownDevices_.begin(), knownDevices_.end());
    for (auto id : removed) knownDevices_.erase(id);
    for (const auto& id : change.value("addedDevices", nlohmann::json::array())) {
        if (id.is_number_unsigned()) knownDevices_.insert(id.get<coreaudio::AudioObjectID>());
    }
    if (everyKnownRemoved || knownDevices_.empty()) {
        serverGone_ = true;
        ++recoveryGeneration_;
    }
    if (!serverGone_ || knownDevices_.empty()) return;
    const std::uint64_t generation = ++recoveryGeneration_;
    DispatchQueue::main().asyncAfter(kRecoveryDelay,
                                     [this, alive = std::weak_ptr<int>(lifetime_), generation] {
                                         if (!alive.lock() || generation != recoveryGeneration_) {
                                             return;
                                         }
                                         serverGone_ = false;
                                         recoverLeftoverRouting();
                                         currentOutputDevice_ = hub_->defaultOutputDevice();
                                         findLoopback();
                                     });
}

// An earlier run that crashed or was killed mid-session left its routing in the sound server:
// the aggregate as the default output (which makes every later system-sound session refuse to
// start) and the loopback as the default input (so every program records silence). Both are
// put back before anything else runs, not only when the user starts the next session.
//
// The loopback as the default input with no session routed is such a leftover too, also without
// a file (a run whose restore saw no change to put back while a late write still took effect).
void PXAudioRouter::recoverLeftoverRouting() {
    auto state = PXAudioRouteState::load(stateFile_);
    if (!state) state = routeState_;
    const auto aggregate = findAggregate();
    if (!state && !aggregate && !isLoopback(hub_->defaultInputDevice())) return;
    // Without a sound server nothing can be put back: the file waits until there is one.
    if (hub_->allDevices().empty()) return;
    consoleLog(aggregate ? "⚠️ 发现遗留的聚合设备"
                         : "⚠️ 发现上次未恢复的音频设备");
    bool clean = putBackOutput(outputToPutBack(state, aggregate, false));
    clean = putBackInput(inputToPutBack(state, false)) && clean;
    if (aggregate) destroyAggregateDevice();
    if (!clean) return;
    routeState_.reset();
    inputWritten_ = outputWritten_ = false;
    PXAudioRouteState::remove(stateFile_);
}

// The output the user had: the recorded one, else (nothing recorded, or its device is gone) the
// real subdevice of an aggregate that is still the default output. Nothing when that is the
// default already, unless a write of another device went out (`written`), which may still take
// effect.
std::shared_ptr<AudioDevice> PXAudioRouter::outputToPutBack(
    const std::optional<PXAudioRouteState>& state, const std::shared_ptr<AudioDevice>& aggregate,
    bool written) {
    const auto current = hub_->defaultOutputDevice();
    if (state && state->outputUID) {
        const auto recorded = AudioDevice::lookupByUID(*state->outputUID);
        if (recorded && !recorded->isAggregateDevice()) {
            return !written && sameDevice(recorded, current) ? nullptr : recorded;
        }
    }
    if (!aggregate || !sameDevice(current, aggregate)) return nullptr;
    for (const auto& sub : aggregate->ownedDevices().value_or(AudioDeviceHub::Devices{})) {
        if (!isLoopback(sub)) return sub;
    }
    return nullptr;
}

// The input the user had: the recorded one, else a microphone in place of a loopback that is
// the default input. Nothing when that is the default already, unless `written` (as above).
std::shared_ptr<AudioDevice> PXAudioRouter::inputToPutBack(
    const std::optional<PXAudioRouteState>& state, bool written) {
    const auto current = hub_->defaultInputDevice();
    std::shared_ptr<AudioDevice> wanted;
    if (state && state->inputUID) wanted = AudioDevice::lookupByUID(*state->inputUID);
    if (!wanted || isLoopback(wanted)) wanted = isLoopback(current) ? findMicrophone() : nullptr;
    return !written && sameDevice(wanted, current) ? nullptr : wanted;
}

bool PXAudioRouter::isLoopback(const std::shared_ptr<AudioDevice>& device) const {
    return device && *device->name() == blackHoleDeviceName_;
}

// The input a session puts back: the current default, except the loopback, which is only the
// default input while a session routes system sound (or after one that never restored).
std::shared_ptr<AudioDevice> PXAudioRouter::userInput() {
    const auto input = hub_->defaultInputDevice();
    return isLoopback(input) ? findMicrophone() : input;
}

// Records, before the first change of each kind, what has to be put back; the file is written
// only when this adds something.
void PXAudioRouter::rememberRouteBeforeChange(const std::shared_ptr<AudioDevice>& output,
                                              const std::shared_ptr<AudioDevice>& input,
                                              bool createsAggregate) {
    PXAudioRouteState next = routeState_.value_or(PXAudioRouteState{});
    if (output && !next.outputUID) next.outputUID = output->uid();
    if (input && !next.inputUID) next.inputUID = input->uid();
    if (createsAggregate) next.aggregateUID = aggregateUID_;
    if (routeState_ && next == *routeState_) return;
    routeState_ = next;
    if (const std::error_code error = next.save(stateFile_)) {
        consoleLog("⚠️ 无法保存音频路由记录：" + error.message());
    }
}

bool PXAudioRouter::putBackOutput(const std::shared_ptr<AudioDevice>& output) {
    if (!output) return true;
    const AudioStatus status = output->setIsDefaultOutputDevice(true);
    consoleLog(status == coreaudio::status::ok
                   ? std::string("✅ 恢复原始输出设备")
                   : "❌ 恢复原始输出设备失败，状态码: " + statusText(status));
    return status == coreaudio::status::ok;
}

bool PXAudioRouter::putBackInput(const std::shared_ptr<AudioDevice>& input) {
    if (!input) return true;
    const AudioStatus status = input->setIsDefaultInputDevice(true);
    consoleLog(status == coreaudio::status::ok
                   ? "✅ 恢复原始输入设备：" + *input->name()
                   : "❌ 恢复原始输入设备失败，状态码: " + statusText(status));
    return status == coreaudio::status::ok;
}

std::shared_ptr<AudioDevice> PXAudioRouter::findLoopback() {
    blackHoleDevice_ = nullptr;
    for (const auto& device : hub_->allDevices()) {
        if (*device->name() == blackHoleDeviceName_) {
            blackHoleDevice_ = device;
            break;
        }
    }
    return blackHoleDevice_;
}

void PXAudioRouter::createLoopbackDevice(LoopbackCompletion completion) {
    assertMainThread("PXAudioRouter::createLoopbackDevice");
    DispatchQueue::global(QualityOfService::UserInitiated)
        .async([this, alive = std::weak_ptr<int>(lifetime_), name = blackHoleDeviceName_,
                completion = std::move(completion)]() mutable {
            coreaudio::AudioObjectID created = coreaudio::kNoObject;
            AudioStatus status = coreaudio::createLoopbackDevice(name, created);
            DispatchQueue::main().async([this, alive, status, completion = std::move(completion)] {
                if (!alive.lock()) return;
                AudioStatus outcome = status;
                // The server said yes, but the device list must show it before a session can
                // use it.
                if (outcome == coreaudio::status::ok && !findLoopback()) {
                    outcome = coreaudio::status::unspecified;
                }
                consoleLog(outcome == coreaudio::status::ok
                               ? "✅ 成功创建回环设备：" + blackHoleDeviceName_
                               : "❌ 创建回环设备失败，状态码: " + statusText(outcome));
                if (completion) completion(outcome);
            });
        });
}

std::shared_ptr<AudioDevice> PXAudioRouter::findAggregate() {
    for (const auto& device : hub_->allAggregateDevices()) {
        if (device->uid() == aggregateUID_) return device;
    }
    return nullptr;
}

void PXAudioRouter::useSystemAudio(RouteCompletion completion) {
    assertMainThread("PXAudioRouter::useSystemAudio");
    sessionStarts();
    const auto output = hub_->defaultOutputDevice();
    const auto loopback = findLoopback();
    const auto loopbackUID = loopback ? loopback->uid() : std::nullopt;
    const auto outputUID = output ? output->uid() : std::nullopt;
    if (!loopbackUID || !outputUID || loopback->isAggregateDevice() ||
        output->isAggregateDevice()) {
        consoleLog("❌ 找不到合法的 BlackHole 或输出设备");
        if (completion) completion(false);
        return;
    }
    currentOutputDevice_ = output;

    const auto inputBefore = userInput();
    // On disk before the first change: a crash right after the write still finds the record.
    rememberRouteBeforeChange(output, inputBefore, true);
    if (!sameDevice(inputBefore, loopback)) inputWritten_ = true;
    const AudioStatus status = loopback->setIsDefaultInputDevice(true);
    const bool inputRouted = status == coreaudio::status::ok;
    consoleLog(inputRouted ? std::string("✅ 设置 BlackHole 为默认输入")
                           : "❌ 设置 BlackHole 为默认输入失败，状态码: " + statusText(status));

    createAggregateDevice(*loopbackUID, *outputUID);

    const std::uint64_t generation = activationGeneration_;
    DispatchQueue::main().asyncAfter(std::chrono::seconds(1),
                                     [this, alive = std::weak_ptr<int>(lifetime_), generation,
                                      inputRouted, completion = std::move(completion)] {
                                         if (!alive.lock()) return;
                                         const bool outputRouted = activateAggregate(generation);
                                         if (completion) completion(inputRouted && outputRouted);
                                     });
}

// A session that starts while a recovery waits takes its place: its record already holds what
// an interrupted session recorded, and its restore puts that back.
void PXAudioRouter::sessionStarts() {
    serverGone_ = false;
    ++recoveryGeneration_;
}

bool PXAudioRouter::activateAggregate(std::uint64_t generation) {
    if (generation != activationGeneration_) return false;  // restored meanwhile
    const auto aggregate = findAggregate();
    if (!aggregate) {
        consoleLog("❌ 聚合设备未找到");
        return false;
    }
    outputWritten_ = true;
    const AudioStatus status = aggregate->setIsDefaultOutputDevice(true);
    if (status != coreaudio::status::ok) {
        consoleLog("❌ 设置聚合设备为默认输出失败，状态码: " + statusText(status));
        return false;
    }
    consoleLog("✅ 设置聚合设备为默认输出");
    return true;
}

void PXAudioRouter::createAggregateDevice(const std::string& loopbackUID,
                                          const std::string& outputUID) {
    if (findAggregate()) {
        consoleLog("🔁 聚合设备已存在");
        return;
    }
    const nlohmann::json description = {
        {"name", "kvt Multi-Output"},
        {"uid", aggregateUID_},
        {"subdevices", nlohmann::json::array({{{"uid", loopbackUID}}, {{"uid", outputUID}}})},
        {"master", loopbackUID},
        {"stacked", 1},
    };
    coreaudio::AudioObjectID created = coreaudio::kNoObject;
    const AudioStatus status = coreaudio::createAggregateDevice(description, created);
    if (status == coreaudio::status::ok) {
        consoleLog("✅ 成功创建聚合设备 ID: " + std::to_string(created));
    } else {
        consoleLog("❌ 创建聚合设备失败，状态码: " + statusText(status));
    }
}

void PXAudioRouter::destroyAggregateDevice() {
    const auto aggregate = findAggregate();
    if (!aggregate) {
        consoleLog("⚠️ 没有找到需要销毁的聚合设备");
        return;
    }
    const AudioStatus status = hub_->removeAggregateDevice(aggregate->objectID());
    if (status == coreaudio::status::ok) {
        consoleLog("🗑️ 聚合设备销毁成功");
    } else {
        consoleLog("❌ 聚合设备销毁失败，状态码: " + statusText(status));
    }
}

std::shared_ptr<AudioDevice> PXAudioRouter::findMicrophone() {
    const auto devices = hub_->allDevices();
    // Devices that can record come first; a device that only plays keeps its chance after them.
    for (bool recording : {true, false}) {
        for (const auto& device : devices) {
            if ((device->channels(Scope::input) != 0) != recording) continue;
            if (hasMicrophoneName(*device) && !device->isAggregateDevice()) return device;
        }
    }
    return nullptr;
}

void PXAudioRouter::switchMode(PXInputMode mode, RouteCompletion completion) {
    assertMainThread("PXAudioRouter::switchMode");
    mode_ = mode;
    switch (mode) {
        case PXInputMode::system:
            useSystemAudio(std::move(completion));
            return;
        case PXInputMode::microphone:
            useMicrophone(completion);
            return;
        case PXInputMode::screenCapture:
            consoleLog("✅ 切换为录屏");
            if (completion) completion(true);
            return;
    }
}

void PXAudioRouter::useMicrophone(const RouteCompletion& completion) {
    sessionStarts();
    const auto microphone = findMicrophone();
    if (!microphone) {
        consoleLog("❌ 未找到麦克风设备");
        if (completion) completion(true);
        return;
    }
    const auto inputBefore = userInput();
    rememberRouteBeforeChange(nullptr, inputBefore, false);
    if (!sameDevice(inputBefore, microphone)) inputWritten_ = true;
    const AudioStatus status = microphone->setIsDefaultInputDevice(true);
    if (status != coreaudio::status::ok) {
        consoleLog("❌ 切换到麦克风输入失败，状态码: " + statusText(status));
    } else {
        consoleLog("✅ 切换到麦克风输入：" + *microphone->name());
    }
    if (completion) completion(status == coreaudio::status::ok);
}

void PXAudioRouter::restore() {
    assertMainThread("PXAudioRouter::restore");
    ++activationGeneration_;  // a pending activation must not switch the output afterwards
    const auto aggregate = findAggregate();
    bool clean = putBackOutput(outputToPutBack(routeState_, aggregate, outputWritten_));
    clean = putBackInput(inputToPutBack(routeState_, inputWritten_)) && clean;
    destroyAggregateDevice();
    if (findAggregate()) clean = false;
    // Kept after a failed put-back, so the next restore and the next start try again.
    if (!clean) return;
    routeState_.reset();
    inputWritten_ = outputWritten_ = false;
    PXAudioRouteState::remove(stateFile_);
}

}  // namespace pex
