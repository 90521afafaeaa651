#pragma once
// The audio hardware layer: object properties read and written by address, listeners for
// property changes, aggregate devices. Calls go to the installed backend
// (AudioHardwareBackend.h); without one every call fails with `status::notRunning`.
//
// Contract: every call is thread-safe and synchronous, and a write is visible to the next read
// on any thread. Listeners run on the layer's one notification thread, one call at a time,
// never while a backend lock is held, so a listener may call back into the layer. Removing a
// listener returns only after a call of it that is running has finished, unless the removal
// comes from inside that call.
#include <cstdint>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/coreaudio/AudioHardwareBackend.h"
#include "platform/coreaudio/AudioTypes.h"

namespace pex::coreaudio {

// Called with the object, the number of changed addresses that match the registration, those
// addresses and the client data given at registration. Its status is ignored.
using PropertyListenerProc = AudioStatus (*)(AudioObjectID object, std::uint32_t addressCount,
                                             const AudioObjectPropertyAddress* addresses,
                                             void* clientData);

// Installs `backend` (nullptr removes it). Changes the old backend reported before are
// delivered before this returns, and the notification thread ends (the new backend's first
// change starts another), so no listener runs once the last backend is removed. Registered
// listeners stay registered.
void installBackend(std::shared_ptr<AudioHardwareBackend> backend);
std::shared_ptr<AudioHardwareBackend> installedBackend();

bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address);
AudioStatus isPropertySettable(AudioObjectID object, const AudioObjectPropertyAddress& address,
                               bool& settable);
AudioStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t& size);
AudioStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                            std::uint32_t qualifierSize, const void* qualifier, std::uint32_t& size,
                            void* data);
AudioStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                            std::uint32_t qualifierSize, const void* qualifier, std::uint32_t size,
                            const void* data);

// Selector, scope and element of `address` may be wildcards. Adding the same procedure and
// client data for the same object and address twice keeps one registration.
AudioStatus addPropertyListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                PropertyListenerProc proc, void* clientData);
AudioStatus removePropertyListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   PropertyListenerProc proc, void* clientData);

AudioStatus createAggregateDevice(const nlohmann::json& description, AudioObjectID& created);
AudioStatus destroyAggregateDevice(AudioObjectID device);
// See AudioHardwareBackend::createLoopbackDevice. May wait for the sound server: not for the
// main thread.
AudioStatus createLoopbackDevice(const std::string& name, AudioObjectID& created);

// Waits until every change reported before this call has been handed to its listeners (a
// no-op on the notification thread itself). For tests and orderly shutdown.
void drainNotifications();
// The number of listener registrations on `object`.
std::size_t listenerCount(AudioObjectID object);

}  // namespace pex::coreaudio
