#include "audio/device-model/TransportType.h"

#include <array>

#include "platform/coreaudio/AudioTypes.h"

namespace pex {

namespace {

using coreaudio::fourCC;

struct Entry {
    TransportType type;
    const char* rawValue;
    std::uint32_t code;  // 0: reached only as the fallback
};

constexpr std::array<Entry, 16> kTable{{
    {TransportType::unknown, "Unknown", 0},
    {TransportType::builtIn, "Built-In", fourCC("bltn")},
    {TransportType::aggregate, "Aggregate", fourCC("grup")},
    {TransportType::virtual_, "Virtual", fourCC("virt")},
    {TransportType::pci, "PCI", fourCC("pci ")},
    {TransportType::usb, "USB", fourCC("usb ")},
    {TransportType::fireWire, "FireWire", fourCC("1394")},
    {TransportType::bluetooth, "Bluetooth", fourCC("blue")},
    {TransportType::bluetoothLE, "Bluetooth LE", fourCC("blea")},
    {TransportType::hdmi, "HDMI", fourCC("hdmi")},
    {TransportType::displayPort, "DisplayPort", fourCC("dprt")},
    {TransportType::airPlay, "AirPlay", fourCC("airp")},
    {TransportType::avb, "AVB", fourCC("eavb")},
    {TransportType::thunderbolt, "Thunderbolt", fourCC("thun")},
    {TransportType::network, "Network", fourCC("ntwk")},
    {TransportType::other, "Other", fourCC("othr")},
}};

}  // namespace

std::string rawValue(TransportType type) {
    for (const auto& entry : kTable) {
        if (entry.type == type) return entry.rawValue;
    }
    return "Unknown";
}

std::optional<TransportType> transportTypeFromRawValue(const std::string& raw) {
    for (const auto& entry : kTable) {
        if (raw == entry.rawValue) return entry.type;
    }
    return std::nullopt;
}

TransportType transportTypeFromCode(std::uint32_t code) {
    for (const auto& entry : kTable) {
        if (entry.code != 0 && entry.code == code) return entry.type;
    }
    return TransportType::unknown;
}

}  // namespace pex
