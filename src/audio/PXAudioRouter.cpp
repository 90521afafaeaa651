#include "audio/PXAudioRouter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <utility>

#include <nlohmann/json.hpp>

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

}  // namespace

PXAudioRouter& PXAudioRouter::shared() {
    // lives as long as the process
    static PXAudioRouter* router = new PXAudioRouter(PXAudioRouteState::defaultFile());
    return *router;
}

PXAudioRouter::PXAudioRouter(std::filesystem::path stateFile)
    : stateFile_(std::move(stateFile)), hub_(std::make_unique<AudioDeviceHub>()) {
    recoverLeftoverRouting();
    currentOutputDevice_ = hub_->defaultOutputDevice();
    findLoopback();
}

PXAudioRouter::~PXAudioRouter() = default;

// An earlier run that crashed or was killed mid-session left its routing in the sound server:
// the aggregate as the default output (which makes every later system-sound session refuse to
// start) and the loopback as the default input (so every program records silence). Both are
// put back before anything else runs, not only when the user starts the next session.
void PXAudioRouter::recoverLeftoverRouting() {
    const auto state = PXAudioRouteState::load(stateFile_);
    const auto aggregate = findAggregate();
    if (!state && !aggregate) return;
    // Without a sound server nothing can be put back: the file waits for a run that has one.
    if (hub_->allDevices().empty()) return;
    consoleLog(aggregate ? "⚠️ 发现遗留的聚合设备"
                         : "⚠️ 发现上次未恢复的音频设备");
    bool clean = putBackOutput(leftoverOutput(state, aggregate));
    clean = putBackInput(leftoverInput(state)) && clean;
    if (aggregate) destroyAggregateDevice();
    if (clean) PXAudioRouteState::remove(stateFile_);
}

// The output the user had: the recorded one, else (no file, or its device is gone) the real
// subdevice of a leftover aggregate that is still the default output.
std::shared_ptr<AudioDevice> PXAudioRouter::leftoverOutput(
    const std::optional<PXAudioRouteState>& state, const std::shared_ptr<AudioDevice>& aggregate) {
    const auto current = hub_->defaultOutputDevice();
    if (state && state->outputUID) {
        const auto recorded = AudioDevice::lookupByUID(*state->outputUID);
        if (recorded && !recorded->isAggregateDevice()) {
            return sameDevice(recorded, current) ? nullptr : recorded;
        }
    }
    if (!aggregate || !sameDevice(current, aggregate)) return nullptr;
    for (const auto& sub : aggregate->ownedDevices().value_or(AudioDeviceHub::Devices{})) {
        if (!isLoopback(sub)) return sub;
    }
    return nullptr;
}

// The input the user had: the recorded one, else a microphone in place of a loopback that was
// left as the default input.
std::shared_ptr<AudioDevice> PXAudioRouter::leftoverInput(
    const std::optional<PXAudioRouteState>& state) {
    const auto current = hub_->defaultInputDevice();
    std::shared_ptr<AudioDevice> wanted;
    if (state && state->inputUID) wanted = AudioDevice::lookupByUID(*state->inputUID);
    if (!wanted || isLoopback(wanted)) wanted = isLoopback(current) ? findMicrophone() : nullptr;
    return sameDevice(wanted, current) ? nullptr : wanted;
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

void PXAudioRouter::useSystemAudio() {
    assertMainThread("PXAudioRouter::useSystemAudio");
    const auto output = hub_->defaultOutputDevice();
    const auto loopback = findLoopback();
    const auto loopbackUID = loopback ? loopback->uid() : std::nullopt;
    const auto outputUID = output ? output->uid() : std::nullopt;
    if (!loopbackUID || !outputUID || loopback->isAggregateDevice() ||
        output->isAggregateDevice()) {
        consoleLog("❌ 找不到合法的 BlackHole 或输出设备");
        return;
    }
    currentOutputDevice_ = output;

    const auto inputBefore = userInput();
    rememberRouteBeforeChange(output, inputBefore, true);
    const AudioStatus status = loopback->setIsDefaultInputDevice(true);
    if (status == coreaudio::status::ok) {
        consoleLog("✅ 设置 BlackHole 为默认输入");
        if (!inputBeforeSession_ && !sameDevice(inputBefore, loopback)) {
            inputBeforeSession_ = inputBefore;
        }
    } else {
        consoleLog("❌ 设置 BlackHole 为默认输入失败，状态码: " + statusText(status));
    }

    createAggregateDevice(*loopbackUID, *outputUID);

    const std::uint64_t generation = activationGeneration_;
    DispatchQueue::main().asyncAfter(std::chrono::seconds(1),
                                     [this, alive = std::weak_ptr<int>(lifetime_), generation] {
                                         if (alive.lock()) activateAggregate(generation);
                                     });
}

void PXAudioRouter::activateAggregate(std::uint64_t generation) {
    if (generation != activationGeneration_) return;  // restored meanwhile
    const auto aggregate = findAggregate();
    if (!aggregate) {
        consoleLog("❌ 聚合设备未找到");
        return;
    }
    const auto outputBefore = hub_->defaultOutputDevice();
    const AudioStatus status = aggregate->setIsDefaultOutputDevice(true);
    if (status != coreaudio::status::ok) {
        consoleLog("❌ 设置聚合设备为默认输出失败，状态码: " + statusText(status));
        return;
    }
    consoleLog("✅ 设置聚合设备为默认输出");
    if (!outputBeforeSession_ && !sameDevice(outputBefore, aggregate)) {
        outputBeforeSession_ = outputBefore;
    }
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

void PXAudioRouter::switchMode(PXInputMode mode) {
    assertMainThread("PXAudioRouter::switchMode");
    mode_ = mode;
    switch (mode) {
        case PXInputMode::system:
            useSystemAudio();
            break;
        case PXInputMode::microphone: {
            const auto microphone = findMicrophone();
            if (!microphone) {
                consoleLog("❌ 未找到麦克风设备");
                break;
            }
            const auto inputBefore = userInput();
            rememberRouteBeforeChange(nullptr, inputBefore, false);
            const AudioStatus status = microphone->setIsDefaultInputDevice(true);
            if (status != coreaudio::status::ok) {
                consoleLog("❌ 切换到麦克风输入失败，状态码: " + statusText(status));
                break;
            }
            consoleLog("✅ 切换到麦克风输入：" + *microphone->name());
            if (!inputBeforeSession_ && !sameDevice(inputBefore, microphone)) {
                inputBeforeSession_ = inputBefore;
            }
            break;
        }
        case PXInputMode::screenCapture:
            consoleLog("✅ 切换为录屏");
            break;
    }
}

void PXAudioRouter::restore() {
    assertMainThread("PXAudioRouter::restore");
    ++activationGeneration_;  // a pending activation must not switch the output afterwards
    bool clean = putBackOutput(std::exchange(outputBeforeSession_, nullptr));
    clean = putBackInput(std::exchange(inputBeforeSession_, nullptr)) && clean;
    destroyAggregateDevice();
    if (findAggregate()) clean = false;
    // Kept after a failed put-back, so the next start tries again.
    if (!clean) return;
    routeState_.reset();
    PXAudioRouteState::remove(stateFile_);
}

}  // namespace pex
