#include "platform/coreaudio/PulseAudioHardware.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <shared_mutex>
#include <string>

#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/PropertyReply.h"
#include "platform/coreaudio/PropertyString.h"
#include "platform/coreaudio/PulseAudioConnection.h"
#include "platform/coreaudio/PulseAudioDeviceTable.h"

namespace pex::coreaudio {

namespace {

using Address = AudioObjectPropertyAddress;
using Kind = PulseAudioProperty::Kind;

const char* const kCombineModule = "module-combine-sink";
// How long a default write waits for the server's change event before it is sent again; each
// further wait is twice as long, up to the write's time-out.
constexpr std::chrono::milliseconds kFirstConfirmationWait{250};
const char* const kNullSinkModule = "module-null-sink";

// Names that stand in a module argument as they are and that every server takes as a sink
// name.
bool isPlainName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
    });
}

// `text` with a backslash before every character of `special`.
std::string escaped(const std::string& text, const std::string& special) {
    std::string result;
    for (char c : text) {
        if (special.find(c) != std::string::npos) result += '\\';
        result += c;
    }
    return result;
}

// The quote that keeps a module argument's value whole on every server: servers differ in what
// a backslash inside quotes means (some drop it, some keep it), so a value is never escaped, only
// put in a quote it does not hold. Nothing for a value that holds both quotes or a backslash.
std::optional<char> quoteFor(const std::string& value) {
    if (value.find('\\') != std::string::npos) return std::nullopt;
    if (value.find('"') == std::string::npos) return '"';
    if (value.find('\'') == std::string::npos) return '\'';
    return std::nullopt;
}

// Whether a sink can be named in a combine sink's list of subdevices: the list is split at
// commas, and a control character would end the argument.
bool canNameSlave(const std::string& name) {
    return !name.empty() && name.find(',') == std::string::npos &&
           std::none_of(name.begin(), name.end(),
                        [](char c) { return std::iscntrl(static_cast<unsigned char>(c)) != 0; });
}

// The subdevices' sink names as a module argument's value, in its quotes; nothing when they
// cannot be written so that every server reads them back as they are.
std::optional<std::string> slaveList(const std::vector<std::string>& slaves) {
    std::string joined;
    for (const auto& slave : slaves) {
        if (!canNameSlave(slave)) return std::nullopt;
        joined += (joined.empty() ? "" : ",") + slave;
    }
    const auto quote = quoteFor(joined);
    if (!quote) return std::nullopt;
    return *quote + joined + *quote;
}

// The description goes through two parsers, the property list's inside the module argument's.
// The property list unescapes backslashes and double quotes; the module argument, in single
// quotes, only its own quote.
std::string combineArgument(const std::string& uid, const std::string& slaves,
                            const std::string& name) {
    const std::string properties = "device.description=\"" + escaped(name, "\"\\") + "\"";
    return "sink_name=" + uid + " slaves=" + slaves + " sink_properties='" +
           escaped(properties, "'") + "'";
}

// The sink name of a loopback device: its description with every character a sink name may not
// hold turned into '_' ("velqoOutput 2ch" becomes "velqoOutput_2ch").
std::string loopbackSinkName(const std::string& description) {
    std::string name = description;
    for (char& c : name) {
        if (!isPlainName(std::string(1, c))) c = '_';
    }
    return name;
}

// A description as given, read from one a server shows: some servers keep the backslashes that
// escaped quotes and backslashes in the module argument.
std::string withoutEscapes(const std::string& shown) {
    std::string given;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '\\' && i + 1 < shown.size()) ++i;
        given += shown[i];
    }
    return given;
}

std::string nullSinkArgument(const std::string& sinkName, const std::string& description) {
    const std::string properties = "device.description=\"" + escaped(description, "\"\\") + "\"";
    return "sink_name=" + sinkName + " channels=2 sink_properties='" + escaped(properties, "'") +
           "'";
}

float scalarToDecibels(float scalar) {
    if (std::isnan(scalar)) return scalar;
    const float clamped = std::clamp(
        scalar, 0.0f, static_cast<float>(PA_VOLUME_MAX) / static_cast<float>(PA_VOLUME_NORM));
    const auto volume =
        static_cast<pa_volume_t>(std::lround(clamped * static_cast<float>(PA_VOLUME_NORM)));
    return static_cast<float>(pa_sw_volume_to_dB(volume));
}

float decibelsToScalar(float decibels) {
    if (std::isnan(decibels)) return decibels;
    return static_cast<float>(pa_sw_volume_from_dB(decibels)) / static_cast<float>(PA_VOLUME_NORM);
}

}  // namespace

struct PulseAudioHardware::Mirror {
    std::shared_mutex mutex;
    std::condition_variable_any replaced;
    PulseAudioDeviceTable table;
    PulseAudioDeviceTable::Identities identities;
    ChangeReporter reporter;

    // Waits, as the server's events come in, until the mirror shows what `settled` looks for;
    // false when it did not within `timeout`. Lock not held.
    template <typename Settled>
    bool waitFor(std::chrono::milliseconds timeout, Settled settled) {
        std::shared_lock lock(mutex);
        return replaced.wait_for(lock, timeout, [&] { return settled(table); });
    }

    // Lock held.
    void replace(PulseAudioDeviceTable next) {
        std::vector<PulseAudioChange> changes = next.changesSince(table);
        table = std::move(next);
        replaced.notify_all();
        if (!reporter) return;
        for (auto& change : changes) reporter(change.object, std::move(change.addresses));
    }
};

PulseAudioHardware::PulseAudioHardware(std::chrono::milliseconds timeout)
    : timeout_(timeout),
      mirror_(std::make_unique<Mirror>()),
      connection_(std::make_unique<PulseAudioConnection>(timeout)) {}

PulseAudioHardware::~PulseAudioHardware() {
    connection_->stop();
}

std::shared_ptr<PulseAudioHardware> PulseAudioHardware::connect(std::chrono::milliseconds timeout) {
    std::shared_ptr<PulseAudioHardware> hardware(new PulseAudioHardware(timeout));
    PulseAudioHardware* self = hardware.get();
    const AudioStatus started = hardware->connection_->start(
        [self](PulseAudioSnapshot snapshot) { self->takeSnapshot(std::move(snapshot)); },
        [self] { self->forgetServer(); });
    if (started != status::ok) return nullptr;
    return hardware;
}

bool PulseAudioHardware::install(std::chrono::milliseconds timeout) {
    auto hardware = connect(timeout);
    if (!hardware) return false;
    installBackend(std::move(hardware));
    return true;
}

void PulseAudioHardware::takeSnapshot(PulseAudioSnapshot snapshot) {
    std::unique_lock lock(mirror_->mutex);
    mirror_->replace(PulseAudioDeviceTable(std::move(snapshot), mirror_->identities));
}

// The server went away: its devices are gone too.
void PulseAudioHardware::forgetServer() {
    std::unique_lock lock(mirror_->mutex);
    mirror_->replace(PulseAudioDeviceTable(PulseAudioSnapshot{}, mirror_->identities));
}

void PulseAudioHardware::attach(ChangeReporter report) {
    std::unique_lock lock(mirror_->mutex);
    mirror_->reporter = std::move(report);
}

void PulseAudioHardware::detach() {
    std::unique_lock lock(mirror_->mutex);
    mirror_->reporter = nullptr;
}

// --- reads ---------------------------------------------------------------------------------

bool PulseAudioHardware::hasProperty(AudioObjectID object, const Address& address) {
    std::shared_lock lock(mirror_->mutex);
    return mirror_->table.property(object, address, 0, nullptr).has_value();
}

AudioStatus PulseAudioHardware::isPropertySettable(AudioObjectID object, const Address& address,
                                                   bool& settable) {
    std::shared_lock lock(mirror_->mutex);
    const auto p = mirror_->table.property(object, address, 0, nullptr);
    if (!p) return mirror_->table.hasObject(object) ? status::unknownProperty : status::badObject;
    settable = p->settable;
    return status::ok;
}

AudioStatus PulseAudioHardware::getPropertyDataSize(AudioObjectID object, const Address& address,
                                                    std::uint32_t qualifierSize,
                                                    const void* qualifier, std::uint32_t& size) {
    std::shared_lock lock(mirror_->mutex);
    const auto p = mirror_->table.property(object, address, qualifierSize, qualifier);
    if (!p) return mirror_->table.hasObject(object) ? status::unknownProperty : status::badObject;
    switch (p->kind) {
        case Kind::Text:
            size = sizeof(PropertyString);
            break;
        case Kind::DeviceForUID:
        case Kind::NameForID:
            size = sizeof(AudioValueTranslation);
            break;
        case Kind::ScalarToDecibels:
        case Kind::DecibelsToScalar:
            size = sizeof(float);
            break;
        default:
            size = static_cast<std::uint32_t>(p->bytes.size());
    }
    return status::ok;
}

AudioStatus PulseAudioHardware::getPropertyData(AudioObjectID object, const Address& address,
                                                std::uint32_t qualifierSize, const void* qualifier,
                                                std::uint32_t& size, void* data) {
    std::shared_lock lock(mirror_->mutex);
    const PulseAudioDeviceTable& table = mirror_->table;
    const auto p = table.property(object, address, qualifierSize, qualifier);
    if (!p) return table.hasObject(object) ? status::unknownProperty : status::badObject;
    switch (p->kind) {
        case Kind::Text:
            return PropertyReply::text(p->text, size, data);
        case Kind::DeviceForUID:
            return PropertyReply::deviceForUID(
                size, data, [&table](const std::string& uid) { return table.deviceWithUID(uid); });
        case Kind::NameForID:
            return PropertyReply::name(p->names, size, data);
        case Kind::ScalarToDecibels:
            return PropertyReply::converted(scalarToDecibels, size, data);
        case Kind::DecibelsToScalar:
            return PropertyReply::converted(decibelsToScalar, size, data);
        default:
            return PropertyReply::bytes(p->bytes, p->kind == Kind::IDList, size, data);
    }
}

// --- writes --------------------------------------------------------------------------------

AudioStatus PulseAudioHardware::setPropertyData(AudioObjectID object, const Address& address,
                                                std::uint32_t, const void*, std::uint32_t size,
                                                const void* data) {
    PulseAudioWrite write;
    {
        std::shared_lock lock(mirror_->mutex);
        if (const AudioStatus refused =
                mirror_->table.planWrite(object, address, size, data, write)) {
            return refused;
        }
    }
    const auto* setDefault = std::get_if<PulseAudioWrite::SetDefault>(&write.operation);
    if (!setDefault) return send(write);
    // Some servers confirm a new default before they use it (a session manager applies it a
    // moment later, or drops it while it is still busy with a device that just appeared): the
    // write is done when the server's own change event names the device, and it is sent again
    // each time that does not come soon enough.
    const auto applied = [setDefault](const PulseAudioDeviceTable& t) {
        return (setDefault->sink ? t.defaultSinkName() : t.defaultSourceName()) == setDefault->name;
    };
    // A write the server refused (its session manager is away, say) is sent again the same way.
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    auto patience = kFirstConfirmationWait;
    for (;;) {
        const AudioStatus written = send(write);
        if (written == status::notRunning) return written;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (mirror_->waitFor(std::max(std::min(patience, left), std::chrono::milliseconds::zero()),
                             applied)) {
            return status::ok;
        }
        if (left <= patience) return written != status::ok ? written : status::unspecified;
        patience *= 2;
    }
}

AudioStatus PulseAudioHardware::send(const PulseAudioWrite& write) {
    // The mirror's lock is not held while the server works: its answer updates the mirror.
    return std::visit(
        [this](const auto& op) -> AudioStatus {
            using Op = std::decay_t<decltype(op)>;
            return connection_->run([&op](pa_context* context, pa_context_success_cb_t done,
                                          void* waiter) -> pa_operation* {
                if constexpr (std::is_same_v<Op, PulseAudioWrite::SetDefault>) {
                    return op.sink
                               ? pa_context_set_default_sink(context, op.name.c_str(), done, waiter)
                               : pa_context_set_default_source(context, op.name.c_str(), done,
                                                               waiter);
                } else if constexpr (std::is_same_v<Op, PulseAudioWrite::SetVolume>) {
                    return op.sink ? pa_context_set_sink_volume_by_index(context, op.index,
                                                                         &op.volume, done, waiter)
                                   : pa_context_set_source_volume_by_index(
                                         context, op.index, &op.volume, done, waiter);
                } else if constexpr (std::is_same_v<Op, PulseAudioWrite::SetMute>) {
                    return op.sink ? pa_context_set_sink_mute_by_index(context, op.index, op.mute,
                                                                       done, waiter)
                                   : pa_context_set_source_mute_by_index(context, op.index, op.mute,
                                                                         done, waiter);
                } else {
                    return op.sink ? pa_context_set_sink_port_by_index(
                                         context, op.index, op.port.c_str(), done, waiter)
                                   : pa_context_set_source_port_by_index(
                                         context, op.index, op.port.c_str(), done, waiter);
                }
            });
        },
        write.operation);
}

AudioStatus PulseAudioHardware::listenerAdded(AudioObjectID object, const Address&) {
    // Every event is watched anyway; only an unknown object is refused.
    std::shared_lock lock(mirror_->mutex);
    return mirror_->table.hasObject(object) ? status::ok : status::badObject;
}

AudioStatus PulseAudioHardware::listenerRemoved(AudioObjectID, const Address&) {
    return status::ok;
}

// --- aggregate devices ---------------------------------------------------------------------

AudioStatus PulseAudioHardware::createAggregateDevice(const nlohmann::json& description,
                                                      AudioObjectID& created) {
    if (!description.is_object()) return status::illegalOperation;
    const auto name = description.find("name");
    const auto uid = description.find("uid");
    const auto subdevices = description.find("subdevices");
    if (name == description.end() || !name->is_string()) return status::illegalOperation;
    if (uid == description.end() || !uid->is_string() || !isPlainName(uid->get<std::string>())) {
        return status::illegalOperation;
    }
    if (subdevices == description.end() || !subdevices->is_array() || subdevices->empty()) {
        return status::illegalOperation;
    }
    // The server only plays one sound on several sinks; a device that joins inputs and
    // outputs into one has no counterpart.
    const auto stacked = description.find("stacked");
    if (stacked == description.end() || !stacked->is_number_integer() || *stacked != 1) {
        return status::unsupportedOperation;
    }
    std::vector<std::string> slaves;
    for (const auto& entry : *subdevices) {
        if (!entry.is_object() || !entry.contains("uid") || !entry["uid"].is_string()) {
            return status::illegalOperation;
        }
        slaves.push_back(entry["uid"].get<std::string>());
    }
    if (description.contains("master")) {
        const auto& master = description["master"];
        if (!master.is_string() ||
            std::find(slaves.begin(), slaves.end(), master.get<std::string>()) == slaves.end()) {
            return status::illegalOperation;
        }
    }
    {
        std::shared_lock lock(mirror_->mutex);
        const PulseAudioDeviceTable& table = mirror_->table;
        if (table.deviceWithUID(uid->get<std::string>()) != kNoObject) {
            return status::illegalOperation;
        }
        for (const auto& slave : slaves) {
            if (!table.sinkOf(table.deviceWithUID(slave))) return status::badDevice;
        }
    }
    // Any sink name the server took can be a subdevice, unless it cannot be written down.
    const auto slaveArgument = slaveList(slaves);
    if (!slaveArgument) return status::illegalOperation;

    const std::string argument =
        combineArgument(uid->get<std::string>(), *slaveArgument, name->get<std::string>());
    std::uint32_t module = PA_INVALID_INDEX;
    const AudioStatus loaded = connection_->run(
        [&argument](pa_context* context, pa_context_index_cb_t done, void* waiter) {
            return pa_context_load_module(context, kCombineModule, argument.c_str(), done, waiter);
        },
        module);
    if (loaded != status::ok) return loaded;

    std::shared_lock lock(mirror_->mutex);
    created = mirror_->table.deviceWithUID(uid->get<std::string>());
    return created != kNoObject ? status::ok : status::unspecified;
}

AudioStatus PulseAudioHardware::destroyAggregateDevice(AudioObjectID device) {
    std::uint32_t module = PA_INVALID_INDEX;
    std::string sinkName;
    bool wasDefault = false;
    {
        std::shared_lock lock(mirror_->mutex);
        const PulseAudioDeviceTable& table = mirror_->table;
        const PulseAudioEndpoint* sink = table.sinkOf(device);
        if (!sink) return status::badObject;
        const PulseAudioModule* owner = table.module(sink->ownerModule);
        if (!owner || owner->name != kCombineModule) return status::illegalOperation;
        module = owner->index;
        sinkName = sink->name;
        wasDefault = table.defaultSinkName() == sinkName;
    }
    const AudioStatus unloaded = unloadModule(module);
    if (unloaded != status::ok) return unloaded;
    // The server confirms the request before it unloads; the device is gone when the module
    // has left the mirror, and, when it was the default output, once the server has named
    // another default (a session manager may choose it a moment later).
    const auto settled = [&](const PulseAudioDeviceTable& table) {
        if (table.module(module) != nullptr) return false;
        if (!wasDefault) return true;
        const std::string& now = table.defaultSinkName();
        if (now == sinkName) return false;
        // The new default is a sink that exists, or there is no sink left to choose.
        if (table.sinkOf(table.deviceWithUID(now))) return true;
        const auto all = table.devices();
        return std::none_of(all.begin(), all.end(),
                            [&](AudioObjectID device) { return table.sinkOf(device) != nullptr; });
    };
    const bool gone = mirror_->waitFor(timeout_, settled);
    return gone ? status::ok : status::unspecified;
}

AudioStatus PulseAudioHardware::unloadModule(std::uint32_t module) {
    return connection_->run(
        [module](pa_context* context, pa_context_success_cb_t done, void* waiter) {
            return pa_context_unload_module(context, module, done, waiter);
        });
}

AudioStatus PulseAudioHardware::createLoopbackDevice(const std::string& name,
                                                     AudioObjectID& created) {
    created = kNoObject;
    // A control character would end the module argument early; an empty name names nothing.
    if (name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
            return std::iscntrl(static_cast<unsigned char>(c)) != 0;
        })) {
        return status::illegalOperation;
    }
    const std::string sinkName = loopbackSinkName(name);
    // A device of that description, or the null sink an earlier call made: servers differ in
    // how they keep a description's quotes and backslashes, so that one is found by its sink
    // name and its description read without escapes.
    const auto existing = [&]() -> AudioObjectID {
        const PulseAudioDeviceTable& table = mirror_->table;
        for (AudioObjectID device : table.devices()) {
            const PulseAudioEndpoint* sink = table.sinkOf(device);
            if (sink && sink->description == name) return device;
        }
        const AudioObjectID named = table.deviceWithUID(sinkName);
        const PulseAudioEndpoint* sink = table.sinkOf(named);
        const PulseAudioModule* owner = sink ? table.module(sink->ownerModule) : nullptr;
        const bool ours =
            owner && owner->name == kNullSinkModule && withoutEscapes(sink->description) == name;
        return ours ? named : kNoObject;
    };
    {
        std::shared_lock lock(mirror_->mutex);
        if (const AudioObjectID device = existing(); device != kNoObject) {
            created = device;
            return status::ok;
        }
        // Another device holds the sink name: the server would refuse the module.
        if (mirror_->table.deviceWithUID(sinkName) != kNoObject) return status::illegalOperation;
    }

    const std::string argument = nullSinkArgument(sinkName, name);
    std::uint32_t module = PA_INVALID_INDEX;
    const AudioStatus loaded = connection_->run(
        [&argument](pa_context* context, pa_context_index_cb_t done, void* waiter) {
            return pa_context_load_module(context, kNullSinkModule, argument.c_str(), done, waiter);
        },
        module);
    if (loaded != status::ok) return loaded;

    {
        std::shared_lock lock(mirror_->mutex);
        created = existing();
    }
    if (created != kNoObject) return status::ok;
    // Loaded, but no such device came of it: take the module away again, so that nothing
    // half-made stays in the server and a later attempt starts clean.
    unloadModule(module);
    return status::unspecified;
}

}  // namespace pex::coreaudio
