#include "platform/coreaudio/PulseAudioDeviceTable.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>

#include "platform/coreaudio/PropertyBytes.h"

namespace pex::coreaudio {

namespace {

using Address = AudioObjectPropertyAddress;
using Kind = PulseAudioProperty::Kind;

constexpr std::uint32_t sel(const char* code) {
    return fourCC(code);
}

// Apart from the fake's IDs, so objects of both never meet in one process's pool.
std::atomic<AudioObjectID> nextObjectID{1'000'000};

PulseAudioProperty value(std::vector<std::byte> bytes, bool settable = false) {
    PulseAudioProperty p;
    p.bytes = std::move(bytes);
    p.settable = settable;
    return p;
}

PulseAudioProperty uint32Value(std::uint32_t v, bool settable = false) {
    return value(bytesOf(v), settable);
}

PulseAudioProperty textValue(std::string text) {
    PulseAudioProperty p;
    p.kind = Kind::Text;
    p.text = std::move(text);
    return p;
}

PulseAudioProperty idList(const std::vector<AudioObjectID>& ids) {
    PulseAudioProperty p = value(listOf(ids));
    p.kind = Kind::IDList;
    return p;
}

PulseAudioProperty kindOnly(Kind kind) {
    PulseAudioProperty p;
    p.kind = kind;
    return p;
}

bool isDirection(std::uint32_t scopeCode) {
    return scopeCode == scope::input || scopeCode == scope::output;
}

float scalarOf(pa_volume_t volume) {
    return static_cast<float>(volume) / static_cast<float>(PA_VOLUME_NORM);
}

// Scalars beyond 0..1 (or not numbers) never reach the server: no write may amplify.
std::optional<pa_volume_t> volumeOfScalar(float scalar) {
    if (std::isnan(scalar)) return std::nullopt;
    scalar = std::clamp(scalar, 0.0f, 1.0f);
    return static_cast<pa_volume_t>(std::lround(scalar * static_cast<float>(PA_VOLUME_NORM)));
}

// Balance is 0 (left) .. 1 (right) here, -1 .. 1 on the server.
float balanceOf(const PulseAudioEndpoint& endpoint) {
    return (pa_cvolume_get_balance(&endpoint.volume, &endpoint.channelMap) + 1.0f) / 2.0f;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> stereoPair(const pa_channel_map& map) {
    std::optional<std::uint32_t> left;
    std::optional<std::uint32_t> right;
    for (std::uint32_t i = 0; i < map.channels; ++i) {
        if (map.map[i] == PA_CHANNEL_POSITION_FRONT_LEFT && !left) left = i + 1;
        if (map.map[i] == PA_CHANNEL_POSITION_FRONT_RIGHT && !right) right = i + 1;
    }
    if (!left || !right) return std::nullopt;
    return std::pair{*left, *right};
}

AudioStreamBasicDescription formatOf(const pa_sample_spec& sample) {
    AudioStreamBasicDescription format;
    format.mSampleRate = sample.rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = sample.channels;
    const std::uint32_t frame = pa_sample_spec_valid(&sample) ? pa_frame_size(&sample) : 0;
    format.mBytesPerFrame = frame;
    format.mBytesPerPacket = frame;
    constexpr std::uint32_t signedInteger = 0x4;
    constexpr std::uint32_t bigEndian = 0x2;
    switch (sample.format) {
        case PA_SAMPLE_FLOAT32LE:
        case PA_SAMPLE_FLOAT32BE:
            format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
            format.mBitsPerChannel = 32;
            break;
        case PA_SAMPLE_U8:
            format.mFormatFlags = kAudioFormatFlagIsPacked;
            format.mBitsPerChannel = 8;
            break;
        case PA_SAMPLE_ALAW:
            format.mFormatID = fourCC("alaw");
            format.mBitsPerChannel = 8;
            break;
        case PA_SAMPLE_ULAW:
            format.mFormatID = fourCC("ulaw");
            format.mBitsPerChannel = 8;
            break;
        case PA_SAMPLE_S24_32LE:
        case PA_SAMPLE_S24_32BE:
            format.mFormatFlags = signedInteger;
            format.mBitsPerChannel = 24;
            break;
        default:
            format.mFormatFlags = signedInteger | kAudioFormatFlagIsPacked;
            format.mBitsPerChannel = pa_sample_format_valid(sample.format)
                                         ? 8 * pa_sample_size_of_format(sample.format)
                                         : 0;
    }
    if (pa_sample_format_is_be(sample.format) == 1 && sample.format != PA_SAMPLE_U8) {
        format.mFormatFlags |= bigEndian;
    }
    return format;
}

std::uint32_t transportOf(const PulseAudioEndpoint& endpoint, bool combine, bool null) {
    if (combine) return sel("grup");
    if (null) return sel("virt");
    static const std::map<std::string, std::uint32_t> buses = {
        {"usb", sel("usb ")},      {"pci", sel("pci ")},         {"bluetooth", sel("blue")},
        {"firewire", sel("1394")}, {"thunderbolt", sel("thun")}, {"network", sel("ntwk")}};
    if (auto it = buses.find(endpoint.bus); it != buses.end()) return it->second;
    return endpoint.card != PA_INVALID_INDEX ? sel("bltn") : sel("virt");
}

// The value of `key` in a module argument ("sink_name=x slaves=a,b"), quotes removed.
std::optional<std::string> moduleArgument(const std::string& argument, const std::string& key) {
    std::size_t i = 0;
    while (i < argument.size()) {
        while (i < argument.size() && std::isspace(static_cast<unsigned char>(argument[i]))) ++i;
        const std::size_t keyStart = i;
        while (i < argument.size() && argument[i] != '=' &&
               !std::isspace(static_cast<unsigned char>(argument[i]))) {
            ++i;
        }
        const std::string name = argument.substr(keyStart, i - keyStart);
        std::string found;
        if (i < argument.size() && argument[i] == '=') {
            ++i;
            char quote = 0;
            if (i < argument.size() && (argument[i] == '"' || argument[i] == '\'')) {
                quote = argument[i++];
            }
            while (i < argument.size()) {
                const char c = argument[i];
                if (quote ? c == quote : std::isspace(static_cast<unsigned char>(c))) break;
                if (c == '\\' && i + 1 < argument.size()) {
                    found += argument[++i];
                } else {
                    found += c;
                }
                ++i;
            }
            if (quote && i < argument.size()) ++i;
        }
        if (name == key) return found;
        if (name.empty()) ++i;
    }
    return std::nullopt;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool sameVolume(const pa_cvolume& a, const pa_cvolume& b) {
    return pa_cvolume_equal(&a, &b) != 0;
}

}  // namespace

// --- building ------------------------------------------------------------------------------

PulseAudioDeviceTable::PulseAudioDeviceTable(PulseAudioSnapshot snapshot, Identities& identities)
    : snapshot_(std::move(snapshot)) {
    auto byIndex = [](const PulseAudioEndpoint& a, const PulseAudioEndpoint& b) {
        return a.index < b.index;
    };
    std::sort(snapshot_.sinks.begin(), snapshot_.sinks.end(), byIndex);
    std::sort(snapshot_.sources.begin(), snapshot_.sources.end(), byIndex);

    std::map<std::pair<bool, std::uint32_t>, Identities::Entry> kept;
    auto identity = [&](bool sink, std::uint32_t index) -> Identities::Entry& {
        auto& entry = kept[{sink, index}];
        if (auto it = identities.bySinkOrSource.find({sink, index});
            it != identities.bySinkOrSource.end()) {
            entry = it->second;
        }
        if (entry.device == kNoObject) entry.device = nextObjectID.fetch_add(1);
        return entry;
    };
    auto streamID = [](AudioObjectID& slot) {
        if (slot == kNoObject) slot = nextObjectID.fetch_add(1);
        return slot;
    };

    for (const PulseAudioEndpoint& sink : snapshot_.sinks) {
        Device device;
        auto& entry = identity(true, sink.index);
        device.id = entry.device;
        device.output = &sink;
        const PulseAudioModule* owner = module(sink.ownerModule);
        device.combine = owner && owner->name == "module-combine-sink";
        device.null = owner && owner->name == "module-null-sink";
        for (const PulseAudioEndpoint& source : snapshot_.sources) {
            if (source.monitorOfSink == sink.index) device.monitor = &source;
        }
        if (device.null && device.monitor) device.input = device.monitor;
        if (sink.sampleSpec.channels > 0) device.outputStream = streamID(entry.outputStream);
        if (device.input && device.input->sampleSpec.channels > 0) {
            device.inputStream = streamID(entry.inputStream);
        }
        devices_.push_back(std::move(device));
    }
    for (const PulseAudioEndpoint& source : snapshot_.sources) {
        if (source.monitorOfSink != PA_INVALID_INDEX) continue;
        Device device;
        auto& entry = identity(false, source.index);
        device.id = entry.device;
        device.input = &source;
        const PulseAudioModule* owner = module(source.ownerModule);
        // A null source, or (on servers without one) a null sink made to act as a source.
        device.null =
            owner && (owner->name == "module-null-source" || owner->name == "module-null-sink");
        if (source.sampleSpec.channels > 0) device.inputStream = streamID(entry.inputStream);
        devices_.push_back(std::move(device));
    }
    identities.bySinkOrSource = std::move(kept);

    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const Device& d = devices_[i];
        deviceIndex_[d.id] = i;
        if (d.inputStream) streams_[d.inputStream] = {d.id, true};
        if (d.outputStream) streams_[d.outputStream] = {d.id, false};
    }
    // A combine sink's subdevices are its slaves; without a list it plays on every sink.
    for (Device& d : devices_) {
        if (!d.combine) continue;
        const PulseAudioModule* owner = module(d.output->ownerModule);
        const auto slaves = owner ? moduleArgument(owner->argument, "slaves") : std::nullopt;
        if (slaves) {
            for (const std::string& name : split(*slaves, ',')) {
                for (const Device& other : devices_) {
                    if (other.output && other.output->name == name) {
                        d.subdevices.push_back(other.id);
                    }
                }
            }
        } else {
            for (const Device& other : devices_) {
                if (other.output && !other.combine) d.subdevices.push_back(other.id);
            }
        }
    }
}

// --- lookups -------------------------------------------------------------------------------

bool PulseAudioDeviceTable::hasObject(AudioObjectID object) const {
    return object == kSystemObject || deviceIndex_.count(object) || streams_.count(object);
}

const PulseAudioDeviceTable::Device* PulseAudioDeviceTable::device(AudioObjectID id) const {
    auto it = deviceIndex_.find(id);
    return it == deviceIndex_.end() ? nullptr : &devices_[it->second];
}

const PulseAudioEndpoint* PulseAudioDeviceTable::side(const Device& device,
                                                      std::uint32_t scopeCode) const {
    if (scopeCode == scope::input) return device.input;
    if (scopeCode == scope::output) return device.output;
    return nullptr;
}

AudioObjectID PulseAudioDeviceTable::deviceWithUID(const std::string& uid) const {
    for (const Device& d : devices_) {
        if ((d.output && d.output->name == uid) || (!d.output && d.input->name == uid)) {
            return d.id;
        }
    }
    return kNoObject;
}

const PulseAudioEndpoint* PulseAudioDeviceTable::sinkOf(AudioObjectID id) const {
    const Device* d = device(id);
    return d ? d->output : nullptr;
}

const PulseAudioModule* PulseAudioDeviceTable::module(std::uint32_t index) const {
    if (index == PA_INVALID_INDEX) return nullptr;
    for (const PulseAudioModule& m : snapshot_.modules) {
        if (m.index == index) return &m;
    }
    return nullptr;
}

bool PulseAudioDeviceTable::isAggregate(AudioObjectID id) const {
    const Device* d = device(id);
    return d && d->combine;
}

std::vector<AudioObjectID> PulseAudioDeviceTable::devices() const {
    std::vector<AudioObjectID> ids;
    ids.reserve(devices_.size());
    for (const Device& d : devices_) ids.push_back(d.id);
    return ids;
}

AudioObjectID PulseAudioDeviceTable::defaultOutput() const {
    for (const Device& d : devices_) {
        if (d.output && d.output->name == snapshot_.defaultSinkName) return d.id;
    }
    return kNoObject;
}

// A default source that is a monitor reads as its sink's device.
AudioObjectID PulseAudioDeviceTable::defaultInput() const {
    for (const Device& d : devices_) {
        if (d.input && !d.output && d.input->name == snapshot_.defaultSourceName) return d.id;
        if (d.monitor && d.monitor->name == snapshot_.defaultSourceName) return d.id;
    }
    return kNoObject;
}

// --- reads ---------------------------------------------------------------------------------

std::optional<PulseAudioProperty> PulseAudioDeviceTable::property(AudioObjectID object,
                                                                  const Address& address,
                                                                  std::uint32_t qualifierSize,
                                                                  const void* qualifier) const {
    if (object == kSystemObject) return systemProperty(address, qualifierSize, qualifier);
    if (const Device* d = device(object)) {
        return deviceProperty(*d, address, qualifierSize, qualifier);
    }
    if (auto it = streams_.find(object); it != streams_.end()) {
        return streamProperty(object, it->second, address);
    }
    return std::nullopt;
}

std::optional<PulseAudioProperty> PulseAudioDeviceTable::systemProperty(
    const Address& address, std::uint32_t qualifierSize, const void* qualifier) const {
    switch (address.mSelector) {
        case sel("clas"):
            return uint32Value(classid::system);
        case sel("dev#"):
            return idList(devices());
        case sel("ownd"): {
            std::vector<AudioClassID> classes(qualifierSize / sizeof(AudioClassID));
            if (!classes.empty()) std::memcpy(classes.data(), qualifier, classes.size() * 4);
            std::vector<AudioObjectID> owned;
            for (const Device& d : devices_) {
                const AudioClassID c = d.combine ? classid::aggregateDevice : classid::device;
                const bool wanted =
                    classes.empty() || std::any_of(classes.begin(), classes.end(), [&](auto q) {
                        return q == classid::object || q == c;
                    });
                if (wanted) owned.push_back(d.id);
            }
            return idList(owned);
        }
        case sel("duid"):
            return kindOnly(Kind::DeviceForUID);
        case sel("dIn "):
            return uint32Value(defaultInput(), true);
        case sel("dOut"):
            return uint32Value(defaultOutput(), true);
        case sel("sOut"):
            // The server has no separate role for alert sounds: they play on the default sink.
            return uint32Value(defaultOutput(), false);
        default:
            return std::nullopt;
    }
}

std::optional<PulseAudioProperty> PulseAudioDeviceTable::deviceProperty(
    const Device& d, const Address& address, std::uint32_t qualifierSize,
    const void* qualifier) const {
    const PulseAudioEndpoint& primary = d.output ? *d.output : *d.input;
    const PulseAudioEndpoint* scoped = side(d, address.mScope);
    const std::uint32_t element = address.mElement;

    switch (address.mSelector) {
        // --- identity and state: every scope ---
        case sel("clas"):
            return uint32Value(d.combine ? classid::aggregateDevice : classid::device);
        case sel("stdv"):
            return uint32Value(kSystemObject);
        case sel("lnam"):
            return textValue(primary.description);
        case sel("uid "):
            return textValue(primary.name);
        case sel("lmak"):
            if (primary.vendor.empty()) return std::nullopt;
            return textValue(primary.vendor);
        case sel("tran"):
            return uint32Value(transportOf(primary, d.combine, d.null));
        case sel("livn"):
            return uint32Value(1);
        case sel("hidn"):
            return uint32Value(0);
        case sel("goin"):
        case sel("gone"):
            return uint32Value(
                ((d.output && d.output->running) || (d.input && d.input->running)) ? 1 : 0);
        case sel("ownd"): {
            std::vector<AudioClassID> classes(qualifierSize / sizeof(AudioClassID));
            if (!classes.empty()) std::memcpy(classes.data(), qualifier, classes.size() * 4);
            auto wanted = [&](AudioClassID c) {
                return classes.empty() || std::any_of(classes.begin(), classes.end(), [&](auto q) {
                           return q == classid::object || q == c;
                       });
            };
            std::vector<AudioObjectID> owned;
            for (AudioObjectID stream : {d.inputStream, d.outputStream}) {
                if (stream && wanted(classid::stream)) owned.push_back(stream);
            }
            for (AudioObjectID sub : d.subdevices) {
                const Device* subdevice = device(sub);
                if (subdevice &&
                    wanted(subdevice->combine ? classid::aggregateDevice : classid::device)) {
                    owned.push_back(sub);
                }
            }
            return idList(owned);
        }
        case sel("nsrt"):
        case sel("asrt"):
            return value(bytesOf<double>(primary.sampleSpec.rate));
        case sel("nsr#"): {
            const double rate = primary.sampleSpec.rate;
            return value(listOf(std::vector<AudioValueRange>{{rate, rate}}));
        }
        case sel("stm#"): {
            std::vector<AudioObjectID> ids;
            if (address.mScope != scope::output && d.inputStream) ids.push_back(d.inputStream);
            if (address.mScope != scope::input && d.outputStream) ids.push_back(d.outputStream);
            return idList(ids);
        }
        default:
            break;
    }

    // --- per direction ---
    if (!isDirection(address.mScope) || !scoped) return std::nullopt;
    const PulseAudioEndpoint& e = *scoped;
    const std::uint32_t channels = e.volume.channels;
    switch (address.mSelector) {
        case sel("srnd"): {
            std::vector<std::byte> layout(channelLayoutSize(e.sampleSpec.channels));
            const std::uint32_t count = e.sampleSpec.channels;
            std::memcpy(layout.data() + 8, &count, 4);
            return value(std::move(layout));
        }
        case sel("ltnc"): {
            const auto frames =
                static_cast<std::uint32_t>(e.latencyMicroseconds * e.sampleSpec.rate / 1'000'000);
            return uint32Value(frames);
        }
        case sel("volm"):
        case sel("vold"): {
            if (element > channels) return std::nullopt;
            const pa_volume_t v =
                element == kElementMain ? pa_cvolume_max(&e.volume) : e.volume.values[element - 1];
            const float result = address.mSelector == sel("volm")
                                     ? scalarOf(v)
                                     : static_cast<float>(pa_sw_volume_to_dB(v));
            return value(bytesOf(result), true);
        }
        case sel("v2db"):
            if (element > channels) return std::nullopt;
            return kindOnly(Kind::ScalarToDecibels);
        case sel("db2v"):
            if (element > channels) return std::nullopt;
            return kindOnly(Kind::DecibelsToScalar);
        case sel("mute"):
            // One switch for the whole device: there is no mute per channel.
            if (element != kElementMain) return std::nullopt;
            return uint32Value(e.mute ? 1 : 0, true);
        case sel("vmvc"):
            return value(bytesOf(scalarOf(pa_cvolume_max(&e.volume))), true);
        case sel("vmbc"):
            if (pa_channel_map_can_balance(&e.channelMap) == 0) return std::nullopt;
            return value(bytesOf(balanceOf(e)), true);
        case sel("dch2"): {
            const auto pair = stereoPair(e.channelMap);
            if (!pair) return std::nullopt;
            return value(listOf(std::vector<std::uint32_t>{pair->first, pair->second}));
        }
        case sel("lchn"): {
            if (element == kElementMain || element > e.channelMap.channels) return std::nullopt;
            return textValue(pa_channel_position_to_pretty_string(e.channelMap.map[element - 1]));
        }
        default:
            break;
    }

    // --- ports, as data sources ---
    if (e.ports.empty()) return std::nullopt;
    switch (address.mSelector) {
        case sel("ssc#"): {
            std::vector<std::uint32_t> ids;
            for (std::uint32_t i = 0; i < e.ports.size(); ++i) ids.push_back(i + 1);
            return value(listOf(ids));
        }
        case sel("ssrc"): {
            for (std::uint32_t i = 0; i < e.ports.size(); ++i) {
                if (e.ports[i].name == e.activePort) {
                    return value(listOf(std::vector<std::uint32_t>{i + 1}), true);
                }
            }
            return value({}, true);
        }
        case sel("lscn"): {
            PulseAudioProperty p = kindOnly(Kind::NameForID);
            for (std::uint32_t i = 0; i < e.ports.size(); ++i) {
                p.names[i + 1] = e.ports[i].description;
            }
            return p;
        }
        case sel("jack"):
            for (const PulseAudioPort& port : e.ports) {
                if (port.name == e.activePort) return uint32Value(port.available ? 1 : 0);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<PulseAudioProperty> PulseAudioDeviceTable::streamProperty(
    AudioObjectID, const Stream& stream, const Address& address) const {
    const Device* d = device(stream.device);
    if (!d) return std::nullopt;
    const PulseAudioEndpoint* e = stream.input ? d->input : d->output;
    if (!e) return std::nullopt;
    switch (address.mSelector) {
        case sel("clas"):
            return uint32Value(classid::stream);
        case sel("stdv"):
            return uint32Value(d->id);
        case sel("sdir"):
            return uint32Value(stream.input ? 1 : 0);
        case sel("pft "):
        case sel("sfmt"):
            return value(bytesOf(formatOf(e->sampleSpec)));
        case sel("pfta"):
        case sel("sfma"): {
            const double rate = e->sampleSpec.rate;
            return value(
                bytesOf(AudioStreamRangedDescription{formatOf(e->sampleSpec), {rate, rate}}));
        }
        case sel("term"):
            if (!stream.input) return uint32Value(sel("spkr"));
            return uint32Value(d->output ? sel("line") : sel("micr"));
        case sel("sact"):
        case sel("schn"):
            return uint32Value(1);
        case sel("ltnc"):
            return uint32Value(0);
        default:
            return std::nullopt;
    }
}

// --- writes --------------------------------------------------------------------------------

AudioStatus PulseAudioDeviceTable::planWrite(AudioObjectID object, const Address& address,
                                             std::uint32_t size, const void* data,
                                             PulseAudioWrite& write) const {
    const auto current = property(object, address, 0, nullptr);
    if (!current) return hasObject(object) ? status::unknownProperty : status::badObject;
    if (!current->settable) return status::unsupportedOperation;

    if (object == kSystemObject) {
        if (size != sizeof(AudioObjectID)) return status::badPropertySize;
        AudioObjectID target = kNoObject;
        std::memcpy(&target, data, sizeof(target));
        const Device* d = device(target);
        if (!d) return status::badDevice;
        if (address.mSelector == sel("dOut")) {
            if (!d->output) return status::illegalOperation;
            write.operation = PulseAudioWrite::SetDefault{true, d->output->name};
            return status::ok;
        }
        // Default input: a source, or for a sink device its monitor.
        const PulseAudioEndpoint* source = d->output ? d->monitor : d->input;
        if (!source) return status::illegalOperation;
        write.operation = PulseAudioWrite::SetDefault{false, source->name};
        return status::ok;
    }

    const Device* d = device(object);
    const PulseAudioEndpoint* e = d ? side(*d, address.mScope) : nullptr;
    if (!e) return status::unknownProperty;
    switch (address.mSelector) {
        case sel("volm"):
        case sel("vold"):
        case sel("vmvc"): {
            if (size != sizeof(float)) return status::badPropertySize;
            float given = 0;
            std::memcpy(&given, data, sizeof(given));
            if (address.mSelector == sel("vold")) {
                if (std::isnan(given)) return status::illegalOperation;
                given = scalarOf(pa_sw_volume_from_dB(given));
            }
            const auto v = volumeOfScalar(given);
            if (!v) return status::illegalOperation;
            pa_cvolume volume = e->volume;
            const std::uint32_t element =
                address.mSelector == sel("vmvc") ? kElementMain : address.mElement;
            if (element == kElementMain) {
                // The loudest channel takes the value; the others keep their balance.
                if (pa_cvolume_max(&volume) == PA_VOLUME_MUTED) {
                    pa_cvolume_set(&volume, volume.channels, *v);
                } else {
                    pa_cvolume_scale(&volume, *v);
                }
            } else {
                volume.values[element - 1] = *v;
            }
            write.operation = PulseAudioWrite::SetVolume{e->isSink, e->index, volume};
            return status::ok;
        }
        case sel("vmbc"): {
            if (size != sizeof(float)) return status::badPropertySize;
            float balance = 0;
            std::memcpy(&balance, data, sizeof(balance));
            if (std::isnan(balance)) return status::illegalOperation;
            balance = std::clamp(balance, 0.0f, 1.0f);
            pa_cvolume volume = e->volume;
            pa_cvolume_set_balance(&volume, &e->channelMap, balance * 2.0f - 1.0f);
            write.operation = PulseAudioWrite::SetVolume{e->isSink, e->index, volume};
            return status::ok;
        }
        case sel("mute"): {
            if (size != sizeof(std::uint32_t)) return status::badPropertySize;
            std::uint32_t mute = 0;
            std::memcpy(&mute, data, sizeof(mute));
            write.operation = PulseAudioWrite::SetMute{e->isSink, e->index, mute != 0};
            return status::ok;
        }
        case sel("ssrc"): {
            if (size != sizeof(std::uint32_t)) return status::badPropertySize;
            std::uint32_t id = 0;
            std::memcpy(&id, data, sizeof(id));
            if (id == 0 || id > e->ports.size()) return status::illegalOperation;
            write.operation = PulseAudioWrite::SetPort{e->isSink, e->index, e->ports[id - 1].name};
            return status::ok;
        }
        default:
            return status::unsupportedOperation;
    }
}

// --- changes -------------------------------------------------------------------------------

std::vector<PulseAudioChange> PulseAudioDeviceTable::changesSince(
    const PulseAudioDeviceTable& before) const {
    std::vector<PulseAudioChange> changes;
    auto global = [](const char* code) { return Address{sel(code), scope::global, kElementMain}; };

    if (devices() != before.devices()) {
        changes.push_back({kSystemObject, {global("ownd")}});
        changes.push_back({kSystemObject, {global("dev#")}});
    }
    if (defaultInput() != before.defaultInput()) {
        changes.push_back({kSystemObject, {global("dIn ")}});
    }
    if (defaultOutput() != before.defaultOutput()) {
        changes.push_back({kSystemObject, {global("dOut")}});
        changes.push_back({kSystemObject, {global("sOut")}});
    }

    for (const Device& now : devices_) {
        const Device* was = before.device(now.id);
        if (!was) continue;
        std::vector<Address> changed;
        const PulseAudioEndpoint& mainNow = now.output ? *now.output : *now.input;
        const PulseAudioEndpoint& mainWas = was->output ? *was->output : *was->input;
        if (mainNow.description != mainWas.description) changed.push_back(global("lnam"));
        const bool runningNow =
            (now.output && now.output->running) || (now.input && now.input->running);
        const bool runningWas =
            (was->output && was->output->running) || (was->input && was->input->running);
        if (runningNow != runningWas) {
            changed.push_back(global("goin"));
            changed.push_back(global("gone"));
        }
        if (mainNow.sampleSpec.rate != mainWas.sampleSpec.rate) {
            changed.push_back(global("nsrt"));
            changed.push_back(global("asrt"));
        }
        if (now.subdevices != was->subdevices) changed.push_back(global("ownd"));

        for (std::uint32_t scopeCode : {scope::output, scope::input}) {
            const PulseAudioEndpoint* a = side(now, scopeCode);
            const PulseAudioEndpoint* b = before.side(*was, scopeCode);
            if (!a || !b) {
                if (a != b) changed.push_back({sel("stm#"), scopeCode, kElementMain});
                continue;
            }
            auto at = [&](const char* code, std::uint32_t element = kElementMain) {
                return Address{sel(code), scopeCode, element};
            };
            if (!sameVolume(a->volume, b->volume)) {
                if (pa_cvolume_max(&a->volume) != pa_cvolume_max(&b->volume)) {
                    changed.push_back(at("volm"));
                    changed.push_back(at("vold"));
                    changed.push_back(at("vmvc"));
                }
                const std::uint32_t channels = std::min(a->volume.channels, b->volume.channels);
                for (std::uint32_t i = 0; i < channels; ++i) {
                    if (a->volume.values[i] == b->volume.values[i]) continue;
                    changed.push_back(at("volm", i + 1));
                    changed.push_back(at("vold", i + 1));
                }
                if (balanceOf(*a) != balanceOf(*b)) changed.push_back(at("vmbc"));
            }
            if (a->mute != b->mute) changed.push_back(at("mute"));
            if (a->activePort != b->activePort) changed.push_back(at("ssrc"));
            std::vector<std::string> portsA, portsB;
            std::vector<bool> jacksA, jacksB;
            for (const auto& p : a->ports) portsA.push_back(p.name), jacksA.push_back(p.available);
            for (const auto& p : b->ports) portsB.push_back(p.name), jacksB.push_back(p.available);
            if (portsA != portsB) changed.push_back(at("ssc#"));
            if (jacksA != jacksB) changed.push_back(at("jack"));
            if (a->sampleSpec.channels != b->sampleSpec.channels) changed.push_back(at("srnd"));
        }
        if (!changed.empty()) changes.push_back({now.id, std::move(changed)});
    }
    return changes;
}

}  // namespace pex::coreaudio
