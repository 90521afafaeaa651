#include "platform/coreaudio/FakeAudioHardware.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iomanip>
#include <sstream>
#include <utility>

#include "platform/coreaudio/PropertyBytes.h"
#include "platform/coreaudio/PropertyReply.h"
#include "platform/coreaudio/PropertyString.h"

namespace pex::coreaudio {

namespace {

using Address = AudioObjectPropertyAddress;

// How a property's value is kept and served.
enum class Kind {
    Value,         // bytes of a fixed size, written only with that size
    Records,       // bytes of any length: lists and records, replaced whole by a write
    Text,          // a string, read and written as a PropertyString
    OwnedObjects,  // the object's owned objects, filtered by the classes in the qualifier
    DeviceList,    // the system's devices
    DeviceForUID,  // translation from a UID to a device ID
    NameTable,     // translation from an ID to a name
    HogMode,       // a process ID; every write toggles ownership by this process
    ScalarToDecibels,
    DecibelsToScalar,
};

// How a value is written in the operation log.
enum class Rendering { UInt32, Float32, Float64, Raw };

struct Property {
    Kind kind = Kind::Value;
    Rendering rendering = Rendering::Raw;
    std::vector<std::byte> bytes;
    std::string text;
    std::map<std::uint32_t, std::string> names;
    bool settable = false;
};

struct Object {
    AudioClassID classID = 0;
    std::map<Address, Property> properties;
    std::vector<AudioObjectID> owned;
    std::vector<AudioObjectID> inputStreams;
    std::vector<AudioObjectID> outputStreams;
};

struct Failure {
    AudioObjectID object;
    Address address;
    FakeAudioHardware::Operation operation;
    AudioStatus status;
    int remaining;
};

struct Change {
    AudioObjectID object;
    std::vector<Address> addresses;
};

constexpr Address globalAddress(std::uint32_t selector) {
    return {selector, scope::global, kElementMain};
}

// Scopes print bare in the log ("glob"), selectors quoted ("'dOut'").
std::string bareCode(std::uint32_t code) {
    std::string text = fourCCText(code);
    if (text.size() == 6 && text.front() == '\'') return text.substr(1, 4);
    return text;
}

std::string renderNumber(double value) {
    std::ostringstream out;
    out << std::setprecision(10) << value;
    return out.str();
}

std::string renderWrite(const Property* property, std::uint32_t size, const void* data) {
    if (property && property->kind == Kind::Text && size == sizeof(PropertyString)) {
        return "\"" + static_cast<const PropertyString*>(data)->str() + "\"";
    }
    std::vector<std::byte> bytes(size);
    if (size) std::memcpy(bytes.data(), data, size);
    const Rendering rendering = property && property->bytes.size() == size ? property->rendering
                                : size == 4                                ? Rendering::UInt32
                                : size == 8                                ? Rendering::Float64
                                                                           : Rendering::Raw;
    switch (rendering) {
        case Rendering::UInt32:
            return std::to_string(valueOf<std::uint32_t>(bytes));
        case Rendering::Float32:
            return renderNumber(valueOf<float>(bytes));
        case Rendering::Float64:
            return renderNumber(valueOf<double>(bytes));
        case Rendering::Raw:
            break;
    }
    std::ostringstream out;
    out << "0x";
    for (std::byte b : bytes) {
        out << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(b);
    }
    return out.str();
}

// The fake's volume curve: 0..1 spans -64..0 dB linearly.
float scalarToDecibels(float scalar) {
    return (scalar - 1.0f) * 64.0f;
}
float decibelsToScalar(float decibels) {
    return decibels / 64.0f + 1.0f;
}

std::atomic<AudioObjectID> nextObjectID{100};

}  // namespace

struct FakeAudioHardware::State {
    mutable std::mutex mutex;
    std::map<AudioObjectID, Object> objects;
    std::vector<AudioObjectID> deviceList;
    std::vector<Failure> failures;
    std::map<std::pair<AudioObjectID, Address>, std::function<void()>> readHooks;
    ChangeReporter reporter;
    std::vector<std::string> log;
    std::vector<nlohmann::json> aggregates;
    std::optional<AudioStatus> aggregateFailure;
    std::optional<AudioStatus> destructionFailure;
    std::optional<AudioStatus> loopbackFailure;

    // --- lookups (lock held) -------------------------------------------------------------
    Object* object(AudioObjectID id) {
        auto it = objects.find(id);
        return it == objects.end() ? nullptr : &it->second;
    }
    // Exact address first, then a property kept for every scope.
    Property* property(AudioObjectID id, const Address& address) {
        Object* owner = object(id);
        if (!owner) return nullptr;
        auto it = owner->properties.find(address);
        if (it != owner->properties.end()) return &it->second;
        it = owner->properties.find({address.mSelector, scope::wildcard, address.mElement});
        return it == owner->properties.end() ? nullptr : &it->second;
    }
    std::optional<AudioStatus> takeFailure(AudioObjectID id, const Address& address,
                                           Operation operation) {
        for (auto it = failures.begin(); it != failures.end(); ++it) {
            if (it->object != id || !(it->address == address)) continue;
            if (it->operation != Operation::Any && it->operation != operation) continue;
            const AudioStatus status = it->status;
            if (--it->remaining <= 0) failures.erase(it);
            return status;
        }
        return std::nullopt;
    }
    // The object, property and forced failure checks every call starts with.
    AudioStatus check(AudioObjectID id, const Address& address, Operation operation,
                      Property*& found) {
        if (!object(id)) return status::badObject;
        if (auto failure = takeFailure(id, address, operation)) return *failure;
        found = property(id, address);
        return found ? status::ok : status::unknownProperty;
    }
    std::optional<AudioObjectID> deviceWithUID(const std::string& uid) {
        for (AudioObjectID id : deviceList) {
            Property* p = property(id, globalAddress(fourCC("uid ")));
            if (p && p->kind == Kind::Text && p->text == uid) return id;
        }
        return std::nullopt;
    }
    std::vector<AudioObjectID> ownedObjects(AudioObjectID id, std::uint32_t qualifierSize,
                                            const void* qualifier) {
        std::vector<AudioClassID> classes(qualifierSize / sizeof(AudioClassID));
        if (!classes.empty()) std::memcpy(classes.data(), qualifier, classes.size() * 4);
        const std::vector<AudioObjectID>& all =
            id == kSystemObject ? deviceList : objects[id].owned;
        std::vector<AudioObjectID> result;
        for (AudioObjectID owned : all) {
            const Object* o = object(owned);
            if (!o) continue;
            const bool wanted =
                classes.empty() || std::any_of(classes.begin(), classes.end(), [&](auto c) {
                    return c == classid::object || c == o->classID;
                });
            if (wanted) result.push_back(owned);
        }
        return result;
    }
    // The bytes a read of this property serves (dynamic kinds computed now).
    std::vector<std::byte> served(AudioObjectID id, const Property& p, std::uint32_t qualifierSize,
                                  const void* qualifier) {
        switch (p.kind) {
            case Kind::OwnedObjects:
                return listOf(ownedObjects(id, qualifierSize, qualifier));
            case Kind::DeviceList:
                return listOf(deviceList);
            default:
                return p.bytes;
        }
    }

    // --- changes (lock held) -------------------------------------------------------------
    void put(AudioObjectID id, const Address& address, Property p) {
        objects[id].properties[address] = std::move(p);
    }
    void putValue(AudioObjectID id, const Address& address, std::vector<std::byte> bytes,
                  Rendering rendering, bool settable) {
        put(id, address, Property{Kind::Value, rendering, std::move(bytes), {}, {}, settable});
    }
    void putRecords(AudioObjectID id, const Address& address, std::vector<std::byte> bytes,
                    bool settable) {
        put(id, address,
            Property{Kind::Records, Rendering::Raw, std::move(bytes), {}, {}, settable});
    }
    void putText(AudioObjectID id, const Address& address, std::string text, bool settable) {
        put(id, address, Property{Kind::Text, Rendering::Raw, {}, std::move(text), {}, settable});
    }
    void putKind(AudioObjectID id, const Address& address, Kind kind) {
        put(id, address, Property{kind, Rendering::Raw, {}, {}, {}, false});
    }
    void report(std::vector<Change> changes) {
        if (!reporter) return;
        for (auto& change : changes) reporter(change.object, std::move(change.addresses));
    }
    void reportDeviceListChange() {
        report({{kSystemObject, {globalAddress(fourCC("ownd"))}},
                {kSystemObject, {globalAddress(fourCC("dev#"))}}});
    }

    AudioObjectID newObject(AudioClassID classID, AudioObjectID owner) {
        const AudioObjectID id = nextObjectID.fetch_add(1);
        objects[id].classID = classID;
        putValue(id, globalAddress(fourCC("clas")), bytesOf(classID), Rendering::UInt32, false);
        putValue(id, globalAddress(fourCC("stdv")), bytesOf(owner), Rendering::UInt32, false);
        if (Object* o = object(owner)) o->owned.push_back(id);
        return id;
    }

    AudioObjectID addStream(AudioObjectID device, std::uint32_t direction, std::uint32_t channels) {
        const bool input = direction == scope::input;
        const AudioObjectID id = newObject(classid::stream, device);
        putValue(id, globalAddress(fourCC("sdir")), bytesOf<std::uint32_t>(input ? 1 : 0),
                 Rendering::UInt32, false);
        AudioStreamBasicDescription format;
        format.mSampleRate = 48000;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
        format.mBytesPerPacket = 4 * channels;
        format.mFramesPerPacket = 1;
        format.mBytesPerFrame = 4 * channels;
        format.mChannelsPerFrame = channels;
        format.mBitsPerChannel = 32;
        putRecords(id, {fourCC("pft "), direction, kElementMain}, bytesOf(format), true);
        putRecords(id, {fourCC("sfmt"), direction, kElementMain}, bytesOf(format), true);
        const AudioStreamRangedDescription ranged{format, {48000, 48000}};
        putRecords(id, {fourCC("pfta"), direction, kElementMain}, bytesOf(ranged), false);
        putRecords(id, {fourCC("sfma"), direction, kElementMain}, bytesOf(ranged), false);
        putValue(id, globalAddress(fourCC("term")), bytesOf(fourCC(input ? "micr" : "spkr")),
                 Rendering::UInt32, false);
        putValue(id, globalAddress(fourCC("sact")), bytesOf<std::uint32_t>(1), Rendering::UInt32,
                 false);
        putValue(id, globalAddress(fourCC("schn")), bytesOf<std::uint32_t>(1), Rendering::UInt32,
                 false);
        putValue(id, globalAddress(fourCC("ltnc")), bytesOf<std::uint32_t>(0), Rendering::UInt32,
                 false);
        return id;
    }

    void putSources(AudioObjectID id, std::uint32_t scopeCode, std::uint32_t listSelector,
                    std::uint32_t nameSelector,
                    const std::vector<FakeDeviceSetup::Source>& sources) {
        std::vector<std::uint32_t> ids;
        std::map<std::uint32_t, std::string> names;
        for (const auto& source : sources) {
            ids.push_back(source.id);
            if (source.name) names[source.id] = *source.name;
        }
        putRecords(id, {listSelector, scopeCode, kElementMain}, listOf(ids), false);
        put(id, {nameSelector, scopeCode, kElementMain},
            Property{Kind::NameTable, Rendering::Raw, {}, {}, std::move(names), false});
    }

    AudioObjectID addDevice(const FakeDeviceSetup& setup) {
        const AudioObjectID id = newObject(setup.classID, kSystemObject);
        auto global = [](const char* selector) { return globalAddress(fourCC(selector)); };
        auto flag = [&](const char* selector, bool on) {
            putValue(id, global(selector), bytesOf<std::uint32_t>(on ? 1 : 0), Rendering::UInt32,
                     false);
        };
        if (setup.name) putText(id, global("lnam"), *setup.name, false);
        if (setup.uid) putText(id, global("uid "), *setup.uid, false);
        putValue(id, global("tran"), bytesOf(setup.transportType), Rendering::UInt32, false);
        flag("livn", setup.alive);
        flag("goin", false);
        flag("gone", false);
        flag("hidn", false);
        putKind(id, global("ownd"), Kind::OwnedObjects);

        std::vector<AudioObjectID> allStreams;
        for (auto [direction, channels] : {std::pair{scope::input, setup.inputChannels},
                                           std::pair{scope::output, setup.outputChannels}}) {
            std::vector<AudioObjectID> streams;
            if (channels > 0) {
                streams.push_back(addStream(id, direction, channels));
                std::vector<std::byte> layout(channelLayoutSize(channels));
                const std::uint32_t count = channels;
                std::memcpy(layout.data() + 8, &count, 4);
                putRecords(id, {fourCC("srnd"), direction, kElementMain}, std::move(layout), false);
            }
            putRecords(id, {fourCC("stm#"), direction, kElementMain}, listOf(streams), false);
            allStreams.insert(allStreams.end(), streams.begin(), streams.end());
            (direction == scope::input ? objects[id].inputStreams : objects[id].outputStreams) =
                streams;
        }
        putRecords(id, global("stm#"), listOf(allStreams), false);

        for (const auto& control : setup.controls) {
            const Address at{0, control.scope, control.element};
            auto selector = [&](const char* code) {
                return Address{fourCC(code), at.mScope, at.mElement};
            };
            if (control.volume) {
                putValue(id, selector("volm"), bytesOf(*control.volume), Rendering::Float32,
                         control.settable);
                putValue(id, selector("vold"), bytesOf(scalarToDecibels(*control.volume)),
                         Rendering::Float32, control.settable);
                putKind(id, selector("v2db"), Kind::ScalarToDecibels);
                putKind(id, selector("db2v"), Kind::DecibelsToScalar);
            }
            if (control.mute) {
                putValue(id, selector("mute"), bytesOf<std::uint32_t>(*control.mute ? 1 : 0),
                         Rendering::UInt32, control.settable);
            }
        }
        if (setup.nominalSampleRate) {
            putValue(id, global("nsrt"), bytesOf(*setup.nominalSampleRate), Rendering::Float64,
                     true);
            putValue(id, global("asrt"), bytesOf(*setup.nominalSampleRate), Rendering::Float64,
                     false);
        }
        if (!setup.nominalSampleRates.empty()) {
            putRecords(id, {fourCC("nsr#"), scope::wildcard, kElementMain},
                       listOf(setup.nominalSampleRates), false);
        }
        if (!setup.clockSources.empty()) {
            putSources(id, scope::global, fourCC("csc#"), fourCC("lcsn"), setup.clockSources);
        }
        if (setup.clockSource) {
            putValue(id, global("csrc"), bytesOf(*setup.clockSource), Rendering::UInt32, true);
        }
        for (auto [scopeCode, sources] : {std::pair{scope::input, &setup.inputDataSources},
                                          std::pair{scope::output, &setup.outputDataSources}}) {
            if (sources->empty()) continue;
            putSources(id, scopeCode, fourCC("ssc#"), fourCC("lscn"), *sources);
            putRecords(id, {fourCC("ssrc"), scopeCode, kElementMain},
                       listOf(std::vector<std::uint32_t>{sources->front().id}), true);
        }
        if (setup.hogMode) {
            put(id, {fourCC("oink"), scope::wildcard, kElementMain},
                Property{
                    Kind::HogMode, Rendering::UInt32, bytesOf<std::int32_t>(-1), {}, {}, true});
        }
        deviceList.push_back(id);
        return id;
    }

    std::vector<Change> removeDevice(AudioObjectID id) {
        std::vector<Change> changes;
        Object* device = object(id);
        if (!device) return changes;
        for (AudioObjectID stream : device->inputStreams) objects.erase(stream);
        for (AudioObjectID stream : device->outputStreams) objects.erase(stream);
        objects.erase(id);
        std::erase(deviceList, id);
        for (const char* role : {"dIn ", "dOut", "sOut"}) {
            Property* p = property(kSystemObject, globalAddress(fourCC(role)));
            if (p && valueOf<AudioObjectID>(p->bytes) == id) {
                p->bytes = bytesOf<AudioObjectID>(kNoObject);
                changes.push_back({kSystemObject, {globalAddress(fourCC(role))}});
            }
        }
        changes.push_back({kSystemObject, {globalAddress(fourCC("ownd"))}});
        changes.push_back({kSystemObject, {globalAddress(fourCC("dev#"))}});
        return changes;
    }

    // A description the hardware would accept: name and unused UID, subdevices that exist,
    // a master among them, "stacked" 0 or 1.
    std::optional<std::vector<AudioObjectID>> validSubdevices(const nlohmann::json& description) {
        if (!description.is_object()) return std::nullopt;
        const auto name = description.find("name");
        const auto uid = description.find("uid");
        const auto subdevices = description.find("subdevices");
        if (name == description.end() || !name->is_string()) return std::nullopt;
        if (uid == description.end() || !uid->is_string() || uid->get<std::string>().empty()) {
            return std::nullopt;
        }
        if (deviceWithUID(uid->get<std::string>())) return std::nullopt;
        if (subdevices == description.end() || !subdevices->is_array() || subdevices->empty()) {
            return std::nullopt;
        }
        std::vector<AudioObjectID> ids;
        std::vector<std::string> uids;
        for (const auto& entry : *subdevices) {
            if (!entry.is_object() || !entry.contains("uid") || !entry["uid"].is_string()) {
                return std::nullopt;
            }
            const auto id = deviceWithUID(entry["uid"].get<std::string>());
            if (!id) return std::nullopt;
            ids.push_back(*id);
            uids.push_back(entry["uid"].get<std::string>());
        }
        if (description.contains("master")) {
            const auto& master = description["master"];
            if (!master.is_string() ||
                std::find(uids.begin(), uids.end(), master.get<std::string>()) == uids.end()) {
                return std::nullopt;
            }
        }
        if (description.contains("stacked")) {
            const auto& stacked = description["stacked"];
            if (!stacked.is_number_integer() || (stacked != 0 && stacked != 1)) {
                return std::nullopt;
            }
        }
        return ids;
    }

    std::uint32_t streamChannels(AudioObjectID device, bool input) {
        std::uint32_t channels = 0;
        const Object* o = object(device);
        if (!o) return 0;
        for (AudioObjectID stream : input ? o->inputStreams : o->outputStreams) {
            const Address at{fourCC("pft "), input ? scope::input : scope::output, kElementMain};
            if (Property* p = property(stream, at)) {
                channels += valueOf<AudioStreamBasicDescription>(p->bytes).mChannelsPerFrame;
            }
        }
        return channels;
    }
};

FakeAudioHardware::FakeAudioHardware() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.objects[kSystemObject].classID = classid::system;
    s.putValue(kSystemObject, globalAddress(fourCC("clas")), bytesOf(classid::system),
               Rendering::UInt32, false);
    s.putKind(kSystemObject, globalAddress(fourCC("dev#")), Kind::DeviceList);
    s.putKind(kSystemObject, globalAddress(fourCC("ownd")), Kind::OwnedObjects);
    s.putKind(kSystemObject, globalAddress(fourCC("duid")), Kind::DeviceForUID);
    for (const char* role : {"dIn ", "dOut", "sOut"}) {
        s.putValue(kSystemObject, globalAddress(fourCC(role)), bytesOf<AudioObjectID>(kNoObject),
                   Rendering::UInt32, true);
    }
}

FakeAudioHardware::~FakeAudioHardware() = default;

AudioObjectID FakeAudioHardware::addObject(AudioClassID classID, AudioObjectID owner) {
    std::lock_guard lock(state_->mutex);
    return state_->newObject(classID, owner);
}

bool FakeAudioHardware::hasObject(AudioObjectID object) const {
    std::lock_guard lock(state_->mutex);
    return state_->objects.count(object) > 0;
}

void FakeAudioHardware::setUInt32(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                  std::uint32_t value, bool settable) {
    std::lock_guard lock(state_->mutex);
    state_->putValue(object, address, bytesOf(value), Rendering::UInt32, settable);
}

void FakeAudioHardware::setFloat32(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   float value, bool settable) {
    std::lock_guard lock(state_->mutex);
    state_->putValue(object, address, bytesOf(value), Rendering::Float32, settable);
}

void FakeAudioHardware::setFloat64(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   double value, bool settable) {
    std::lock_guard lock(state_->mutex);
    state_->putValue(object, address, bytesOf(value), Rendering::Float64, settable);
}

void FakeAudioHardware::setText(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                const std::string& value, bool settable) {
    std::lock_guard lock(state_->mutex);
    state_->putText(object, address, value, settable);
}

void FakeAudioHardware::setBytes(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 std::vector<std::byte> value, bool settable) {
    std::lock_guard lock(state_->mutex);
    state_->putRecords(object, address, std::move(value), settable);
}

void FakeAudioHardware::setNameTable(AudioObjectID object,
                                     const AudioObjectPropertyAddress& address,
                                     std::map<std::uint32_t, std::string> names) {
    std::lock_guard lock(state_->mutex);
    state_->put(object, address,
                Property{Kind::NameTable, Rendering::Raw, {}, {}, std::move(names), false});
}

void FakeAudioHardware::removeProperty(AudioObjectID object,
                                       const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(state_->mutex);
    if (Object* o = state_->object(object)) o->properties.erase(address);
}

std::vector<std::byte> FakeAudioHardware::bytes(AudioObjectID object,
                                                const AudioObjectPropertyAddress& address) const {
    std::lock_guard lock(state_->mutex);
    const Property* p = state_->property(object, address);
    return p ? p->bytes : std::vector<std::byte>{};
}

std::optional<std::uint32_t> FakeAudioHardware::uint32(
    AudioObjectID object, const AudioObjectPropertyAddress& address) const {
    std::lock_guard lock(state_->mutex);
    const Property* p = state_->property(object, address);
    if (!p || p->bytes.size() != 4) return std::nullopt;
    return valueOf<std::uint32_t>(p->bytes);
}

void FakeAudioHardware::failNext(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 AudioStatus status, int count, Operation operation) {
    std::lock_guard lock(state_->mutex);
    state_->failures.push_back(Failure{object, address, operation, status, count});
}

void FakeAudioHardware::beforeNextRead(AudioObjectID object,
                                       const AudioObjectPropertyAddress& address,
                                       std::function<void()> hook) {
    std::lock_guard lock(state_->mutex);
    state_->readHooks[{object, address}] = std::move(hook);
}

void FakeAudioHardware::emit(AudioObjectID object,
                             std::vector<AudioObjectPropertyAddress> addresses) {
    std::lock_guard lock(state_->mutex);
    state_->report({{object, std::move(addresses)}});
}

AudioObjectID FakeAudioHardware::addDevice(const FakeDeviceSetup& setup) {
    std::lock_guard lock(state_->mutex);
    const AudioObjectID id = state_->addDevice(setup);
    state_->reportDeviceListChange();
    return id;
}

void FakeAudioHardware::removeDevice(AudioObjectID device) {
    std::lock_guard lock(state_->mutex);
    state_->report(state_->removeDevice(device));
}

std::vector<AudioObjectID> FakeAudioHardware::devices() const {
    std::lock_guard lock(state_->mutex);
    return state_->deviceList;
}

std::vector<AudioObjectID> FakeAudioHardware::streams(AudioObjectID device,
                                                      std::uint32_t scopeCode) const {
    std::lock_guard lock(state_->mutex);
    const Object* o = state_->object(device);
    if (!o) return {};
    return scopeCode == scope::input ? o->inputStreams : o->outputStreams;
}

void FakeAudioHardware::setDefaultDevice(std::uint32_t roleSelector, AudioObjectID device) {
    std::lock_guard lock(state_->mutex);
    Property* p = state_->property(kSystemObject, globalAddress(roleSelector));
    if (!p) return;
    p->bytes = bytesOf(device);
    state_->report({{kSystemObject, {globalAddress(roleSelector)}}});
}

AudioObjectID FakeAudioHardware::defaultDevice(std::uint32_t roleSelector) const {
    std::lock_guard lock(state_->mutex);
    const Property* p = state_->property(kSystemObject, globalAddress(roleSelector));
    return p ? valueOf<AudioObjectID>(p->bytes) : kNoObject;
}

void FakeAudioHardware::addOwnedObject(AudioObjectID owner, AudioObjectID owned) {
    std::lock_guard lock(state_->mutex);
    if (Object* o = state_->object(owner)) o->owned.push_back(owned);
}

void FakeAudioHardware::failNextAggregateCreation(AudioStatus status) {
    std::lock_guard lock(state_->mutex);
    state_->aggregateFailure = status;
}

void FakeAudioHardware::failNextAggregateDestruction(AudioStatus status) {
    std::lock_guard lock(state_->mutex);
    state_->destructionFailure = status;
}

void FakeAudioHardware::failNextLoopbackCreation(AudioStatus status) {
    std::lock_guard lock(state_->mutex);
    state_->loopbackFailure = status;
}

std::vector<nlohmann::json> FakeAudioHardware::aggregateDescriptions() const {
    std::lock_guard lock(state_->mutex);
    return state_->aggregates;
}

std::vector<std::string> FakeAudioHardware::operations() const {
    std::lock_guard lock(state_->mutex);
    return state_->log;
}

void FakeAudioHardware::clearOperations() {
    std::lock_guard lock(state_->mutex);
    state_->log.clear();
}

void FakeAudioHardware::attach(ChangeReporter report) {
    std::lock_guard lock(state_->mutex);
    state_->reporter = std::move(report);
}

void FakeAudioHardware::detach() {
    std::lock_guard lock(state_->mutex);
    state_->reporter = nullptr;
}

bool FakeAudioHardware::hasProperty(AudioObjectID object,
                                    const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(state_->mutex);
    return state_->property(object, address) != nullptr;
}

AudioStatus FakeAudioHardware::isPropertySettable(AudioObjectID object,
                                                  const AudioObjectPropertyAddress& address,
                                                  bool& settable) {
    std::lock_guard lock(state_->mutex);
    Property* p = nullptr;
    if (const AudioStatus failed = state_->check(object, address, Operation::Settable, p)) {
        return failed;
    }
    settable = p->settable;
    return status::ok;
}

AudioStatus FakeAudioHardware::getPropertyDataSize(AudioObjectID object,
                                                   const AudioObjectPropertyAddress& address,
                                                   std::uint32_t qualifierSize,
                                                   const void* qualifier, std::uint32_t& size) {
    std::lock_guard lock(state_->mutex);
    Property* p = nullptr;
    if (const AudioStatus failed = state_->check(object, address, Operation::Size, p)) {
        return failed;
    }
    switch (p->kind) {
        case Kind::Text:
            size = sizeof(PropertyString);
            break;
        case Kind::DeviceForUID:
        case Kind::NameTable:
            size = sizeof(AudioValueTranslation);
            break;
        case Kind::ScalarToDecibels:
        case Kind::DecibelsToScalar:
            size = sizeof(float);
            break;
        default:
            size = static_cast<std::uint32_t>(
                state_->served(object, *p, qualifierSize, qualifier).size());
    }
    return status::ok;
}

AudioStatus FakeAudioHardware::getPropertyData(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t qualifierSize, const void* qualifier,
                                               std::uint32_t& size, void* data) {
    std::function<void()> hook;
    {
        std::lock_guard lock(state_->mutex);
        auto it = state_->readHooks.find({object, address});
        if (it != state_->readHooks.end()) {
            hook = std::move(it->second);
            state_->readHooks.erase(it);
        }
    }
    if (hook) hook();

    std::lock_guard lock(state_->mutex);
    Property* p = nullptr;
    if (const AudioStatus failed = state_->check(object, address, Operation::Get, p)) {
        return failed;
    }
    switch (p->kind) {
        case Kind::Text:
            return PropertyReply::text(p->text, size, data);
        case Kind::DeviceForUID:
            return PropertyReply::deviceForUID(size, data, [this](const std::string& uid) {
                return state_->deviceWithUID(uid).value_or(kNoObject);
            });
        case Kind::NameTable:
            return PropertyReply::name(p->names, size, data);
        case Kind::ScalarToDecibels:
            return PropertyReply::converted(scalarToDecibels, size, data);
        case Kind::DecibelsToScalar:
            return PropertyReply::converted(decibelsToScalar, size, data);
        default: {
            const bool idList = p->kind == Kind::OwnedObjects || p->kind == Kind::DeviceList;
            return PropertyReply::bytes(state_->served(object, *p, qualifierSize, qualifier),
                                        idList, size, data);
        }
    }
}

AudioStatus FakeAudioHardware::setPropertyData(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t, const void*, std::uint32_t size,
                                               const void* data) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    Property* p = s.property(object, address);
    s.log.push_back("Set " + std::to_string(object) + " " + fourCCText(address.mSelector) + " " +
                    bareCode(address.mScope) + " " + std::to_string(address.mElement) + " = " +
                    renderWrite(p, size, data));
    p = nullptr;
    if (const AudioStatus failed = s.check(object, address, Operation::Set, p)) return failed;
    if (!p->settable) return status::illegalOperation;

    std::vector<std::byte> incoming(size);
    if (size) std::memcpy(incoming.data(), data, size);
    bool changed = false;
    switch (p->kind) {
        case Kind::Value:
            if (size != p->bytes.size()) return status::badPropertySize;
            changed = incoming != p->bytes;
            p->bytes = std::move(incoming);
            break;
        case Kind::Records:
            changed = incoming != p->bytes;
            p->bytes = std::move(incoming);
            break;
        case Kind::Text: {
            if (size != sizeof(PropertyString)) return status::badPropertySize;
            const std::string text = static_cast<const PropertyString*>(data)->str();
            changed = text != p->text;
            p->text = text;
            break;
        }
        case Kind::HogMode: {
            // Free becomes ours, ours becomes free, another process keeps it.
            const auto self = static_cast<std::int32_t>(::getpid());
            const auto owner = valueOf<std::int32_t>(p->bytes);
            const std::int32_t next = owner == -1 ? self : owner == self ? -1 : owner;
            changed = next != owner;
            p->bytes = bytesOf(next);
            break;
        }
        default:
            return status::illegalOperation;
    }
    if (changed) s.report({{object, {address}}});
    return status::ok;
}

AudioStatus FakeAudioHardware::listenerAdded(AudioObjectID object,
                                             const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(state_->mutex);
    state_->log.push_back("AddListener " + std::to_string(object) + " " + describe(address));
    if (!state_->object(object)) return status::badObject;
    return state_->takeFailure(object, address, Operation::AddListener).value_or(status::ok);
}

AudioStatus FakeAudioHardware::listenerRemoved(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address) {
    std::lock_guard lock(state_->mutex);
    state_->log.push_back("RemoveListener " + std::to_string(object) + " " + describe(address));
    if (!state_->object(object)) return status::badObject;
    return state_->takeFailure(object, address, Operation::RemoveListener).value_or(status::ok);
}

AudioStatus FakeAudioHardware::createAggregateDevice(const nlohmann::json& description,
                                                     AudioObjectID& created) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    s.log.push_back("CreateAggregate " + description.dump());
    s.aggregates.push_back(description);
    if (auto failure = std::exchange(s.aggregateFailure, std::nullopt)) return *failure;
    const auto subdevices = s.validSubdevices(description);
    if (!subdevices) return status::illegalOperation;

    const bool stacked = description.value("stacked", 0) == 1;
    FakeDeviceSetup setup;
    setup.name = description["name"].get<std::string>();
    setup.uid = description["uid"].get<std::string>();
    setup.classID = classid::aggregateDevice;
    setup.transportType = fourCC("grup");
    for (AudioObjectID sub : *subdevices) {
        const std::uint32_t in = s.streamChannels(sub, true);
        const std::uint32_t out = s.streamChannels(sub, false);
        setup.inputChannels = stacked ? 0 : setup.inputChannels + in;
        setup.outputChannels =
            stacked ? std::max(setup.outputChannels, out) : setup.outputChannels + out;
    }
    created = s.addDevice(setup);
    for (AudioObjectID sub : *subdevices) s.objects[created].owned.push_back(sub);
    s.reportDeviceListChange();
    return status::ok;
}

AudioStatus FakeAudioHardware::destroyAggregateDevice(AudioObjectID device) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    s.log.push_back("DestroyAggregate " + std::to_string(device));
    if (auto failure = std::exchange(s.destructionFailure, std::nullopt)) return *failure;
    const Object* o = s.object(device);
    if (!o || o->classID != classid::aggregateDevice) return status::badObject;
    s.report(s.removeDevice(device));
    return status::ok;
}

AudioStatus FakeAudioHardware::createLoopbackDevice(const std::string& name,
                                                    AudioObjectID& created) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    s.log.push_back("CreateLoopback " + name);
    created = kNoObject;
    if (auto failure = std::exchange(s.loopbackFailure, std::nullopt)) return *failure;
    for (AudioObjectID device : s.deviceList) {
        const Property* label = s.property(device, globalAddress(fourCC("lnam")));
        if (label && label->text == name) {
            created = device;
            return status::ok;
        }
    }
    FakeDeviceSetup setup = FakeDeviceSetup::named(name, 2, 2);
    setup.transportType = fourCC("virt");
    created = s.addDevice(setup);
    s.reportDeviceListChange();
    return status::ok;
}

}  // namespace pex::coreaudio
