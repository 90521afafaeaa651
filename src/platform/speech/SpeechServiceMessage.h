#pragma once
// The framing of the cloud speech service's WebSocket messages.
//
// Text messages: header lines "Name: value\r\n", a blank line, then the body (JSON).
// Binary messages: the length of the header text as two big-endian bytes, the header lines,
// then the payload (audio). Outgoing headers are always Path, X-RequestId, X-Timestamp and,
// when there is one, Content-Type, in this order.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/speech/AudioStreamFormat.h"

namespace pex {

struct SpeechServiceMessage {
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string path() const;  // the "Path" header, or ""

    static std::string text(std::string_view path, std::string_view requestId,
                            std::string_view timestamp, std::string_view contentType,
                            std::string_view body);
    // An audio message; an empty payload without a content type ends the audio.
    static std::string audio(std::string_view requestId, std::string_view timestamp,
                             std::optional<std::string_view> contentType,
                             std::span<const std::uint8_t> payload);
    // The 44-byte RIFF/WAVE header that opens the audio of a turn; the sizes are left 0 because
    // the audio is a stream of unknown length.
    static std::string waveHeader(const AudioStreamFormat& format);
    // A received text message, or none when it has no blank line after its headers.
    static std::optional<SpeechServiceMessage> parse(std::string_view message);

    static std::string newRequestId();  // 32 upper-case hexadecimal digits
    static std::string timestampNow();  // UTC, ISO 8601 with milliseconds
};

}  // namespace pex
