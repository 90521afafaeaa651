#include "BeaconTransport/cct/TXPEventTXBSupport.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "platform/foundation/DefaultsFileFormat.h"

namespace pex {

namespace {

constexpr const char* kNeedsKey = "needs_network_connection_info";
constexpr const char* kRecordKey = "network_connection_info";
constexpr const char* kEventCodeKey = "event_code_info";

// The custom bytes as a JSON object: an empty object without bytes, none when they are not one.
std::optional<nlohmann::json> parsedCustomBytes(const TXPEvent& event, const char* problemLine) {
    if (!event.customBytes()) return nlohmann::json::object();
    nlohmann::json parsed = nlohmann::json::parse(*event.customBytes(), nullptr, false);
    if (!parsed.is_object()) {
        TXPLogDebug(0, std::string(problemLine) + *event.customBytes());
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

bool TXBNeedsNetworkConnectionInfoPopulated(const TXPEvent& event) {
    if (!event.customBytes()) return false;
    auto parsed = parsedCustomBytes(
        event, "Error when checking the event for needs_network_connection_info: ");
    return parsed && parsed->value(kNeedsKey, nlohmann::json()) == true;
}

void TXBSetNeedsNetworkConnectionInfoPopulated(TXPEvent& event, bool needed) {
    if (!needed && !event.customBytes()) return;
    auto parsed = parsedCustomBytes(event, "Error when setting an event's event_code: ");
    if (!parsed) return;
    if (needed) {
        (*parsed)[kNeedsKey] = true;
        event.setCustomBytes(parsed->dump());
    } else if (parsed->contains(kEventCodeKey)) {
        event.setCustomBytes(nlohmann::json{{kEventCodeKey, (*parsed)[kEventCodeKey]}}.dump());
    }
}

std::optional<std::string> TXBNetworkConnectionInfoData(const TXPEvent& event) {
    if (!event.customBytes()) return std::nullopt;
    auto parsed =
        parsedCustomBytes(event, "Error when getting an event's network_connection_info: ");
    if (!parsed || !parsed->contains(kRecordKey) || !(*parsed)[kRecordKey].is_string())
        return std::nullopt;
    auto bytes = DefaultsFileFormat::fromBase64((*parsed)[kRecordKey].get<std::string>());
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

void TXBSetNetworkConnectionInfoData(TXPEvent& event, const std::string& record) {
    auto parsed =
        parsedCustomBytes(event, "Error when setting an event's network_connection_info: ");
    if (!parsed) return;
    (*parsed)[kRecordKey] = DefaultsFileFormat::base64(
        nlohmann::json::binary_t(std::vector<std::uint8_t>(record.begin(), record.end())));
    event.setCustomBytes(parsed->dump());
}

std::optional<std::int64_t> TXBEventCode(const TXPEvent& event) {
    if (!event.customBytes()) return std::nullopt;
    auto parsed = parsedCustomBytes(event, "Error when getting an event's event_code: ");
    if (!parsed || !parsed->contains(kEventCodeKey) || !(*parsed)[kEventCodeKey].is_string())
        return std::nullopt;
    std::string text = (*parsed)[kEventCodeKey].get<std::string>();
    std::int64_t code = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return code;
}

void TXBSetEventCode(TXPEvent& event, std::optional<std::int64_t> code) {
    if (!code && !event.customBytes()) return;
    auto parsed = parsedCustomBytes(event, "Error when setting an event's event_code: ");
    if (!parsed) return;
    if (code)
        (*parsed)[kEventCodeKey] = std::to_string(*code);
    else
        parsed->erase(kEventCodeKey);
    event.setCustomBytes(parsed->dump());
}

}  // namespace pex
