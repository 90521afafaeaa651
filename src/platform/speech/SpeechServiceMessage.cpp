#include "platform/speech/SpeechServiceMessage.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "platform/foundation/Hex.h"

namespace pex {

namespace {

std::string headerLines(std::string_view path, std::string_view requestId,
                        std::string_view timestamp, std::optional<std::string_view> contentType) {
    std::string lines;
    lines.append("Path: ").append(path).append("\r\n");
    lines.append("X-RequestId: ").append(requestId).append("\r\n");
    lines.append("X-Timestamp: ").append(timestamp).append("\r\n");
    if (contentType) lines.append("Content-Type: ").append(*contentType).append("\r\n");
    return lines;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

}  // namespace

std::string SpeechServiceMessage::path() const {
    const auto found = headers.find("path");
    return found == headers.end() ? std::string() : found->second;
}

std::string SpeechServiceMessage::text(std::string_view path, std::string_view requestId,
                                       std::string_view timestamp, std::string_view contentType,
                                       std::string_view body) {
    std::string message = headerLines(path, requestId, timestamp, contentType);
    message.append("\r\n").append(body);
    return message;
}

std::string SpeechServiceMessage::audio(std::string_view requestId, std::string_view timestamp,
                                        std::optional<std::string_view> contentType,
                                        std::span<const std::uint8_t> payload) {
    const std::string headers = headerLines("audio", requestId, timestamp, contentType);
    std::string message;
    message.reserve(2 + headers.size() + payload.size());
    message.push_back(static_cast<char>((headers.size() >> 8) & 0xff));
    message.push_back(static_cast<char>(headers.size() & 0xff));
    message.append(headers);
    message.append(reinterpret_cast<const char*>(payload.data()), payload.size());
    return message;
}

std::string SpeechServiceMessage::waveHeader(const AudioStreamFormat& format) {
    const std::uint32_t blockAlign = format.channels * (format.bitsPerSample / 8);
    std::string header = "RIFF";
    putLittleEndian(header, 0, 4);
    header += "WAVEfmt ";
    putLittleEndian(header, 16, 4);
    putLittleEndian(header, 1, 2);  // PCM
    putLittleEndian(header, format.channels, 2);
    putLittleEndian(header, format.samplesPerSecond, 4);
    putLittleEndian(header, format.samplesPerSecond * blockAlign, 4);
    putLittleEndian(header, blockAlign, 2);
    putLittleEndian(header, format.bitsPerSample, 2);
    header += "data";
    putLittleEndian(header, 0, 4);
    return header;
}

std::optional<SpeechServiceMessage> SpeechServiceMessage::parse(std::string_view message) {
    const std::size_t end = message.find("\r\n\r\n");
    if (end == std::string_view::npos) return std::nullopt;
    SpeechServiceMessage parsed;
    std::string_view headers = message.substr(0, end);
    while (!headers.empty()) {
        const std::size_t lineEnd = std::min(headers.find("\r\n"), headers.size());
        const std::string_view line = headers.substr(0, lineEnd);
        headers.remove_prefix(std::min(lineEnd + 2, headers.size()));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        std::string name(trimmed(line.substr(0, colon)));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        parsed.headers[name] = std::string(trimmed(line.substr(colon + 1)));
    }
    parsed.body = std::string(message.substr(end + 4));
    return parsed;
}

std::string SpeechServiceMessage::newRequestId() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string id;
    for (int part = 0; part < 2; ++part) {
        std::uint64_t bits = generator();
        for (int i = 0; i < 16; ++i, bits >>= 4)
            id.push_back(hexDigit(static_cast<unsigned>(bits), HexCase::Upper));
    }
    return id;
}

std::string SpeechServiceMessage::timestampNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return text;
}

}  // namespace pex
