#include "audio/device-model/TerminalType.h"

#include <array>

#include "platform/coreaudio/AudioTypes.h"

namespace pex {

namespace {

using coreaudio::fourCC;

struct Entry {
    TerminalType type;
    const char* rawValue;
    std::uint32_t code;  // 0: reached only as the fallback
};

constexpr std::array<Entry, 13> kTable{{
    {TerminalType::unknown, "Unknown", 0},
    {TerminalType::line, "Line", fourCC("line")},
    {TerminalType::digitalAudioInterface, "Digital Audio Interface", fourCC("spdf")},
    {TerminalType::speaker, "Speaker", fourCC("spkr")},
    {TerminalType::headphones, "Headphones", fourCC("hdph")},
    {TerminalType::lfeSpeaker, "LFE Speaker", fourCC("lfes")},
    {TerminalType::receiverSpeaker, "Receiver Speaker", fourCC("rspk")},
    {TerminalType::microphone, "Microphone", fourCC("micr")},
    {TerminalType::headsetMicrophone, "Headset Microphone", fourCC("hmic")},
    {TerminalType::receiverMicrophone, "Receiver Microphone", fourCC("rmic")},
    {TerminalType::tty, "TTY", fourCC("tty_")},
    {TerminalType::hdmi, "HDMI", fourCC("hdmi")},
    {TerminalType::displayPort, "DisplayPort", fourCC("dprt")},
}};

}  // namespace

std::string rawValue(TerminalType type) {
    for (const auto& entry : kTable) {
        if (entry.type == type) return entry.rawValue;
    }
    return "Unknown";
}

std::optional<TerminalType> terminalTypeFromRawValue(const std::string& raw) {
    for (const auto& entry : kTable) {
        if (raw == entry.rawValue) return entry.type;
    }
    return std::nullopt;
}

TerminalType terminalTypeFromCode(std::uint32_t code) {
    for (const auto& entry : kTable) {
        if (entry.code != 0 && entry.code == code) return entry.type;
    }
    return TerminalType::unknown;
}

}  // namespace pex
