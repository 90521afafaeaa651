#pragma once
// How a device is attached to the computer, from the device's transport code.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

enum class TransportType {
    unknown,
    builtIn,
    aggregate,
    virtual_,  // "Virtual"; the trailing underscore only avoids the C++ keyword
    pci,
    usb,
    fireWire,
    bluetooth,
    bluetoothLE,
    hdmi,
    displayPort,
    airPlay,
    avb,
    thunderbolt,
    network,
    other,
};

std::string rawValue(TransportType type);
// Exactly one of the sixteen raw values (case-sensitive), else nothing.
std::optional<TransportType> transportTypeFromRawValue(const std::string& rawValue);
// Unknown codes give `unknown`.
TransportType transportTypeFromCode(std::uint32_t transportCode);

}  // namespace pex
