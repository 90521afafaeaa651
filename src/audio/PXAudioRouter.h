#pragma once
// Chooses where the session's sound comes from by switching the system's default devices:
// a microphone as the default input, or (system sound) the loopback device as the default
// input with an aggregate multi-output device of the loopback and the real output as the
// default output, so the recorder hears what the computer plays while the user still hears it.
// `restore` undoes what the session changed. Every outcome is one console line; callers learn
// only what `findMicrophone` and `findLoopback` return and what the completions of the
// routing calls and of `createLoopbackDevice` report. Main thread only.
//
// The loopback is looked up again whenever it is needed, so one created (or removed) while the
// application runs is seen by the next system-sound session.
//
// The routing lives in the sound server and outlives the process. So before the router first
// changes a default it writes the user's defaults (and whether it creates the aggregate) to a
// state file, and a clean `restore` deletes it; a router made while such a file or the
// aggregate is still there (the last run crashed or was killed) puts the user's devices back
// and removes the aggregate at once. So does a router whose sound server comes back after it
// went away, a second after the device list has stopped changing.
//
// A default write that reports failure may still take effect later (a session manager applies
// it after the server has answered), so `restore` writes back what was recorded for every
// default the session tried to change, whatever the write returned.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "audio/PXAudioRouteState.h"
#include "audio/PXInputMode.h"
#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/AudioDeviceHub.h"
#include "platform/coreaudio/AudioTypes.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

class PXAudioRouter {
  public:
    // The one router of the application, made on first use.
    static PXAudioRouter& shared();

    // Keeps its state in `stateFile`; puts back what an earlier run left routed, then looks the
    // loopback up.
    explicit PXAudioRouter(std::filesystem::path stateFile);
    ~PXAudioRouter();
    PXAudioRouter(const PXAudioRouter&) = delete;
    PXAudioRouter& operator=(const PXAudioRouter&) = delete;

    PXInputMode mode() const { return mode_; }
    void setMode(PXInputMode mode) { mode_ = mode; }

    // Whether the session's sound reaches the recorder as asked. Runs on the main thread once
    // the routing is in place or has failed: for system sound after the aggregate's activation
    // a second later (false when `restore` came first), for the other modes before the call
    // returns. A microphone session without a microphone records the default input as it is.
    using RouteCompletion = std::function<void(bool routed)>;

    void useSystemAudio(RouteCompletion completion = nullptr);
    void restore();
    // Whether a route is recorded that `restore` has still to put back.
    bool holdsRoute() const { return routeState_.has_value(); }
    void switchMode(PXInputMode mode, RouteCompletion completion = nullptr);
    std::shared_ptr<AudioDevice> findMicrophone();
    void createAggregateDevice(const std::string& loopbackUID, const std::string& outputUID);
    void destroyAggregateDevice();

    // The device named exactly `blackHoleDeviceName` in the current device list (remembered as
    // `blackHoleDevice`), nothing when there is none.
    std::shared_ptr<AudioDevice> findLoopback();
    // Adds the loopback to the sound server, off the main thread (the server may take a while
    // to answer); `completion` runs on the main queue with the outcome, after the loopback has
    // been looked up again. Not called when the router is gone by then.
    using LoopbackCompletion = std::function<void(coreaudio::AudioStatus status)>;
    void createLoopbackDevice(LoopbackCompletion completion);

    const std::string& blackHoleDeviceName() const { return blackHoleDeviceName_; }
    const std::string& aggregateUID() const { return aggregateUID_; }
    const std::shared_ptr<AudioDevice>& currentOutputDevice() const { return currentOutputDevice_; }
    const std::shared_ptr<AudioDevice>& blackHoleDevice() const { return blackHoleDevice_; }
    AudioDeviceHub& hub() { return *hub_; }

  private:
    std::shared_ptr<AudioDevice> findAggregate();
    bool activateAggregate(std::uint64_t generation);
    void useMicrophone(const RouteCompletion& completion);
    void sessionStarts();
    void recoverLeftoverRouting();
    void deviceListChanged(const nlohmann::json& change);
    std::shared_ptr<AudioDevice> outputToPutBack(const std::optional<PXAudioRouteState>& state,
                                                 const std::shared_ptr<AudioDevice>& aggregate,
                                                 bool written);
    std::shared_ptr<AudioDevice> inputToPutBack(const std::optional<PXAudioRouteState>& state,
                                                bool written);
    bool isLoopback(const std::shared_ptr<AudioDevice>& device) const;
    std::shared_ptr<AudioDevice> userInput();
    void rememberRouteBeforeChange(const std::shared_ptr<AudioDevice>& output,
                                   const std::shared_ptr<AudioDevice>& input,
                                   bool createsAggregate);
    bool putBackOutput(const std::shared_ptr<AudioDevice>& output);
    bool putBackInput(const std::shared_ptr<AudioDevice>& input);

    const std::filesystem::path stateFile_;
    std::unique_ptr<AudioDeviceHub> hub_;
    const std::string blackHoleDeviceName_ = "velqoOutput 2ch";
    const std::string aggregateUID_ = "kvt-Multi-Output_UID";
    std::shared_ptr<AudioDevice> currentOutputDevice_;
    std::shared_ptr<AudioDevice> blackHoleDevice_;
    PXInputMode mode_ = PXInputMode::microphone;

    // What the state file holds while routing is in place (the defaults as they were before
    // the session first changed each of them); nothing once restored.
    std::optional<PXAudioRouteState> routeState_;
    // Whether the session sent a write of another device than the recorded one for the default
    // input or output: `restore` then writes the recorded one back.
    bool inputWritten_ = false;
    bool outputWritten_ = false;
    // A pending aggregate activation runs only while its generation is current.
    std::uint64_t activationGeneration_ = 0;
    // The sound server's device list went empty (the server went away, or was not there when
    // the router was made); a pending recovery runs only while its generation is current.
    bool serverGone_ = false;
    std::set<coreaudio::AudioObjectID> knownDevices_;
    std::uint64_t recoveryGeneration_ = 0;
    ScopedObserver deviceListObserver_;
    // Pending activations hold this weakly, so a router that is gone is never called.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace pex
