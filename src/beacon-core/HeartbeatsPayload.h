#pragma once
// Heartbeats as they leave the store: one entry per user agent with the days it was logged,
// and the value of the request header "X-beacon-client" (the payload as compact JSON, gzipped,
// in URL-safe Base64 without padding).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon-core/Heartbeat.h"
#include "beacon-core/UTLGzip.h"

namespace pex {

class HeartbeatsPayload {
  public:
    struct UserAgentPayload {
        std::string agent;
        std::vector<HeartbeatDate> dates;
        bool operator==(const UserAgentPayload&) const = default;
    };

    static constexpr std::int64_t kVersion = 2;

    explicit HeartbeatsPayload(std::vector<UserAgentPayload> userAgentPayloads = {},
                               std::int64_t version = kVersion)
        : userAgentPayloads_(std::move(userAgentPayloads)), version_(version) {}
    static const HeartbeatsPayload& empty();

    const std::vector<UserAgentPayload>& userAgentPayloads() const { return userAgentPayloads_; }
    std::int64_t version() const { return version_; }
    bool isEmpty() const { return userAgentPayloads_.empty(); }
    bool operator==(const HeartbeatsPayload&) const = default;

    // {"heartbeats":[{"agent":…,"dates":["2024-01-02",…]}],"version":2}, "/" written "\/".
    std::string json() const;
    std::string headerValue() const;

    // "yyyy-MM-dd" of a date in GMT.
    static std::string dayText(HeartbeatDate date);
    static std::string base64URLText(std::span<const std::uint8_t> bytes);
    static std::optional<UTLData> fromBase64URLText(std::string_view text);
    static std::optional<UTLData> gzipped(std::span<const std::uint8_t> bytes);
    static std::optional<UTLData> gunzipped(std::span<const std::uint8_t> bytes);

  private:
    std::vector<UserAgentPayload> userAgentPayloads_;
    std::int64_t version_;
};

}  // namespace pex
