#pragma once
// An in-memory audio hardware backend for tests: a table of objects with properties per
// address, the system object with its device list and default devices, devices built from a
// FakeDeviceSetup (with one stream per direction), aggregate devices, forced failures, change
// reports, and a log of every write and every aggregate created or destroyed
// ("Set 1 'dOut' glob 0 = 42").
//
// Object IDs come from one counter for the whole process, so devices of one test never share
// an ID with pooled objects left from another. Writes through the layer report a change when
// the value changed; the test-side setters below report nothing unless `emit` is called.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/coreaudio/AudioHardwareBackend.h"
#include "platform/coreaudio/AudioTypes.h"
#include "platform/coreaudio/FakeDeviceSetup.h"

namespace pex::coreaudio {

class FakeAudioHardware : public AudioHardwareBackend {
  public:
    // Which calls a forced failure applies to.
    enum class Operation { Any, Size, Get, Set, Settable, AddListener, RemoveListener };

    FakeAudioHardware();
    ~FakeAudioHardware() override;

    // --- objects and properties -----------------------------------------------------------
    AudioObjectID addObject(AudioClassID classID, AudioObjectID owner);
    bool hasObject(AudioObjectID object) const;
    void setUInt32(AudioObjectID object, const AudioObjectPropertyAddress& address,
                   std::uint32_t value, bool settable = false);
    void setFloat32(AudioObjectID object, const AudioObjectPropertyAddress& address, float value,
                    bool settable = false);
    void setFloat64(AudioObjectID object, const AudioObjectPropertyAddress& address, double value,
                    bool settable = false);
    void setText(AudioObjectID object, const AudioObjectPropertyAddress& address,
                 const std::string& value, bool settable = false);
    void setBytes(AudioObjectID object, const AudioObjectPropertyAddress& address,
                  std::vector<std::byte> value, bool settable = false);
    template <typename T>
    void setRecords(AudioObjectID object, const AudioObjectPropertyAddress& address,
                    const std::vector<T>& records, bool settable = false) {
        std::vector<std::byte> bytes(records.size() * sizeof(T));
        if (!bytes.empty()) std::memcpy(bytes.data(), records.data(), bytes.size());
        setBytes(object, address, std::move(bytes), settable);
    }
    // Names by ID, read through a value translation (clock and data source names).
    void setNameTable(AudioObjectID object, const AudioObjectPropertyAddress& address,
                      std::map<std::uint32_t, std::string> names);
    void removeProperty(AudioObjectID object, const AudioObjectPropertyAddress& address);
    // The raw stored value, for assertions (empty when absent or not stored as bytes).
    std::vector<std::byte> bytes(AudioObjectID object,
                                 const AudioObjectPropertyAddress& address) const;
    std::optional<std::uint32_t> uint32(AudioObjectID object,
                                        const AudioObjectPropertyAddress& address) const;

    // The next `count` calls of `operation` on exactly this object and address fail with
    // `status` (Any: calls of every kind count).
    void failNext(AudioObjectID object, const AudioObjectPropertyAddress& address,
                  AudioStatus status, int count = 1, Operation operation = Operation::Any);
    // Runs `hook` once, outside the fake's lock, when the next read of this address begins:
    // after its size was asked, before its data is served.
    void beforeNextRead(AudioObjectID object, const AudioObjectPropertyAddress& address,
                        std::function<void()> hook);

    // Reports a change of `addresses` on `object` to the layer's listeners.
    void emit(AudioObjectID object, std::vector<AudioObjectPropertyAddress> addresses);

    // --- devices ------------------------------------------------------------------------
    AudioObjectID addDevice(const FakeDeviceSetup& setup);
    // The device and its streams disappear; default roles that pointed at it become 0.
    // Reports 'ownd' then 'dev#' of the system object, each on its own.
    void removeDevice(AudioObjectID device);
    std::vector<AudioObjectID> devices() const;
    // The streams of a device in one scope (input or output), in order.
    std::vector<AudioObjectID> streams(AudioObjectID device, std::uint32_t scope) const;
    // 'dIn ', 'dOut' or 'sOut' of the system object; 0 when none.
    void setDefaultDevice(std::uint32_t roleSelector, AudioObjectID device);
    AudioObjectID defaultDevice(std::uint32_t roleSelector) const;
    // Adds an object to a device's owned objects (as an aggregate owns its subdevices).
    void addOwnedObject(AudioObjectID owner, AudioObjectID owned);

    // --- aggregate devices ----------------------------------------------------------------
    // The next creation fails with `status` and creates nothing.
    void failNextAggregateCreation(AudioStatus status);
    // The next destruction fails with `status` and destroys nothing.
    void failNextAggregateDestruction(AudioStatus status);
    // Every description handed to a successful or failed creation, as given.
    std::vector<nlohmann::json> aggregateDescriptions() const;

    // --- loopback devices -----------------------------------------------------------------
    // A created loopback is a virtual device with two channels each way, whose UID is its
    // name followed by "_UID". The next creation fails with `status` and creates nothing.
    void failNextLoopbackCreation(AudioStatus status);

    // --- the operation log ----------------------------------------------------------------
    std::vector<std::string> operations() const;
    void clearOperations();

    // --- AudioHardwareBackend ----------------------------------------------------------------
    void attach(ChangeReporter report) override;
    void detach() override;
    bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override;
    AudioStatus isPropertySettable(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   bool& settable) override;
    AudioStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                    std::uint32_t qualifierSize, const void* qualifier,
                                    std::uint32_t& size) override;
    AudioStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t& size, void* data) override;
    AudioStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t size, const void* data) override;
    AudioStatus listenerAdded(AudioObjectID object,
                              const AudioObjectPropertyAddress& address) override;
    AudioStatus listenerRemoved(AudioObjectID object,
                                const AudioObjectPropertyAddress& address) override;
    AudioStatus createAggregateDevice(const nlohmann::json& description,
                                      AudioObjectID& created) override;
    AudioStatus destroyAggregateDevice(AudioObjectID device) override;
    AudioStatus createLoopbackDevice(const std::string& name, AudioObjectID& created) override;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pex::coreaudio
