#include "beacon-core/HeartbeatsPayload.h"

#include <algorithm>

#include <chrono>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "platform/foundation/DefaultsFileFormat.h"
#include "platform/foundation/ReferenceDate.h"

namespace pex {

const HeartbeatsPayload& HeartbeatsPayload::empty() {
    static const HeartbeatsPayload payload;
    return payload;
}

std::string HeartbeatsPayload::dayText(HeartbeatDate date) {
    using namespace std::chrono;
    // A stored date may be anything; one beyond the calendar's years (or not a number) is held
    // at its edge instead of overflowing the conversion.
    constexpr double kLimit = 1e12;  // about 31,000 years either way
    const double whole = std::isnan(date) ? 0.0 : std::clamp(std::floor(date), -kLimit, kLimit);
    const auto seconds = static_cast<std::int64_t>(whole) + ReferenceDate::kSecondsSince1970;
    const sys_days day = floor<days>(sys_seconds(std::chrono::seconds(seconds)));
    const year_month_day ymd{day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

std::string HeartbeatsPayload::json() const {
    nlohmann::json heartbeats = nlohmann::json::array();
    for (const auto& entry : userAgentPayloads_) {
        nlohmann::json dates = nlohmann::json::array();
        for (HeartbeatDate date : entry.dates) dates.push_back(dayText(date));
        heartbeats.push_back({{"agent", entry.agent}, {"dates", dates}});
    }
    const nlohmann::json object{{"heartbeats", heartbeats}, {"version", version_}};
    // Compact, and "/" escaped: outside strings JSON has no "/", so every one is inside a string.
    std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '/') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string HeartbeatsPayload::headerValue() const {
    const std::string text = json();
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    if (auto compressed = gzipped(bytes)) return base64URLText(*compressed);
    return base64URLText(bytes);
}

std::string HeartbeatsPayload::base64URLText(std::span<const std::uint8_t> bytes) {
    std::string text = DefaultsFileFormat::base64(
        nlohmann::json::binary_t(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    std::string url;
    url.reserve(text.size());
    for (char c : text) {
        if (c == '/')
            url += '_';
        else if (c == '+')
            url += '-';
        else if (c != '=')
            url += c;
    }
    return url;
}

std::optional<UTLData> HeartbeatsPayload::fromBase64URLText(std::string_view text) {
    std::string standard(text);
    for (char& c : standard) {
        if (c == '_')
            c = '/';
        else if (c == '-')
            c = '+';
    }
    while (standard.size() % 4 != 0) standard += '=';
    auto decoded = DefaultsFileFormat::fromBase64(standard);
    if (!decoded) return std::nullopt;
    return UTLData(decoded->begin(), decoded->end());
}

std::optional<UTLData> HeartbeatsPayload::gzipped(std::span<const std::uint8_t> bytes) {
    ErrorRef error;
    return UTLGzip::dataByGzippingData(bytes, &error);
}

std::optional<UTLData> HeartbeatsPayload::gunzipped(std::span<const std::uint8_t> bytes) {
    ErrorRef error;
    return UTLGzip::dataByInflatingGzippedData(bytes, &error);
}

}  // namespace pex
