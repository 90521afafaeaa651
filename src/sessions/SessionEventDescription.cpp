#include "sessions/SessionEventDescription.h"

#include <array>
#include <sstream>

#include "sessions/BCNSESNanoPBHelpers.h"

namespace pex {

namespace {

std::string unrecognized(const char* type) {
    return std::string("Unrecognized ") + type + ". Please update the beacon_appquality_sessions_" +
           type + " CustomStringConvertible extension";
}

template <std::size_t N>
std::string named(int value, const std::array<const char*, N>& names, const char* type) {
    if (value < 0 || static_cast<std::size_t>(value) >= N) return unrecognized(type);
    return names[static_cast<std::size_t>(value)];
}

std::string text(const pb_bytes_array_t* array) {
    if (!array) return "<NULL>";
    if (array->size == 0) return "<EMPTY>";
    return BCNSESDecodeString(array);
}

std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

}  // namespace

std::string describeEventType(int value) {
    return named<2>(value, {"UNKNOWN", "SESSION_START"}, "EventType");
}

std::string describeDataCollectionState(int value) {
    return named<6>(
        value,
        {"UNKNOWN", "SDK_NOT_INSTALLED", "ENABLED", "DISABLED", "DISABLED_REMOTE", "SAMPLED"},
        "DataCollectionState");
}

std::string describeLogEnvironment(int value) {
    return named<4>(value, {"UNKNOWN", "AUTOPUSH", "STAGING", "PROD"}, "LogEnvironment");
}

std::string describeOsName(int value) {
    return named<9>(value,
                    {"UNKNOWN_OSNAME", "MACOS", "MACCATALYST", "IOS_ON_MAC", "IOS", "TVOS",
                     "WATCHOS", "IPADOS", "UNSPECIFIED"},
                    "OsName");
}

std::string describeSessionEvent(const beacon_appquality_sessions_SessionEvent& event) {
    const auto& session = event.session_data;
    const auto& status = session.data_collection_status;
    const auto& app = event.application_info;
    const auto& apple = app.platform_info.apple_app_info;
    std::string out = describeEventType(event.event_type);
    out += "\n  session_data\n    session_id: " + text(session.session_id);
    out += "\n    first_session_id: " + text(session.first_session_id);
    out += "\n    session_index: " + std::to_string(session.session_index);
    out += "\n    event_timestamp_us: " + std::to_string(session.event_timestamp_us);
    out += "\n    beacon_installation_id: " + text(session.beacon_installation_id);
    out +=
        "\n    beacon_authentication_token:\n        " + text(session.beacon_authentication_token);
    out += "\n    data_collection_status\n      crashreporter: " +
           describeDataCollectionState(status.crashreporter);
    out += "\n      performance: " + describeDataCollectionState(status.performance);
    out += "\n      session_sampling_rate: " + number(status.session_sampling_rate);
    out += "\n  application_info\n    app_id: " + text(app.app_id);
    out += "\n    session_sdk_version: " + text(app.session_sdk_version);
    out += "\n    os_version: " + text(app.os_version);
    out += "\n    device_model: " + text(app.device_model);
    out += "\n    development_platform_name: " + text(app.development_platform_name);
    out += "\n    development_platform_version: " + text(app.development_platform_version);
    const bool apple_chosen = app.which_platform_info == BCNSESGetAppleApplicationInfoTag();
    out += "\n    apple_app_info\n      bundle_short_version: " +
           (apple_chosen ? text(apple.bundle_short_version) : std::string("<NULL>"));
    out += "\n      app_build_version: " +
           (apple_chosen ? text(apple.app_build_version) : std::string("<NULL>"));
    out += "\n      network_connection_info\n        network_type: " +
           std::to_string(apple_chosen ? apple.network_connection_info.network_type : 0);
    out += "\n        mobile_subtype: " +
           std::to_string(apple_chosen ? apple.network_connection_info.mobile_subtype : 0);
    out += "\n      os_name: " + describeOsName(apple_chosen ? apple.os_name : 0);
    out += "\n      log_environment: " + describeLogEnvironment(app.log_environment);
    return out;
}

}  // namespace pex
