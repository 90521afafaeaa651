#pragma once
// The kind of connector at the end of a stream, from the stream's terminal code.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

enum class TerminalType {
    unknown,
    line,
    digitalAudioInterface,
    speaker,
    headphones,
    lfeSpeaker,
    receiverSpeaker,
    microphone,
    headsetMicrophone,
    receiverMicrophone,
    tty,
    hdmi,
    displayPort,
};

std::string rawValue(TerminalType type);
// Exactly one of the thirteen raw values (case-sensitive), else nothing.
std::optional<TerminalType> terminalTypeFromRawValue(const std::string& rawValue);
// Unknown codes give `unknown`.
TerminalType terminalTypeFromCode(std::uint32_t terminalCode);

}  // namespace pex
