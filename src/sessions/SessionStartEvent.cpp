#include "sessions/SessionStartEvent.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "beacon-core/BCNLogger.h"
#include "sessions/BCNSESNanoPBHelpers.h"
#include "sessions/SessionsLogger.h"

namespace pex {

SessionEventMessage::SessionEventMessage()
    : proto_(beacon_appquality_sessions_SessionEvent_init_zero) {}

SessionEventMessage::~SessionEventMessage() {
    pb_release(beacon_appquality_sessions_SessionEvent_fields, &proto_);
}

SessionStartEvent::SessionStartEvent(const SessionInfo& session,
                                     const ApplicationInfoProtocol& appInfo,
                                     const TimeProvider& time) {
    SessionEventProto& proto = message_.proto();
    proto.event_type = beacon_appquality_sessions_EventType_SESSION_START;

    proto.has_session_data = true;
    auto& data = proto.session_data;
    replace(data.session_id, session.sessionId);
    replace(data.first_session_id, session.firstSessionId);
    data.session_index = session.sessionIndex;
    data.event_timestamp_us = static_cast<std::int64_t>(time.eventTimestampMicros());

    proto.has_application_info = true;
    auto& app = proto.application_info;
    replace(app.app_id, appInfo.appID());
    replace(app.session_sdk_version, appInfo.sdkVersion());
    replace(app.os_version, appInfo.osDisplayVersion());
    app.log_environment = static_cast<beacon_appquality_sessions_LogEnvironment>(
        3 - static_cast<int>(appInfo.environment()));
    replace(app.device_model, appInfo.deviceModel());
    app.which_platform_info = BCNSESGetAppleApplicationInfoTag();

    auto& apple = app.platform_info.apple_app_info;
    replace(apple.bundle_short_version, appInfo.appDisplayVersion());
    replace(apple.app_build_version, appInfo.appBuildVersion());
    apple.os_name = osNameFrom(appInfo.osName());
    replace(apple.unnamed_5, "");
    apple.has_network_connection_info = true;
    apple.network_connection_info.network_type = 8;
    apple.network_connection_info.mobile_subtype = 0;

    data.has_data_collection_status = true;
    setPerformanceState(DataCollectionStateSDKNotInstalled);
    setCrashReporterState(DataCollectionStateSDKNotInstalled);
}

beacon_appquality_sessions_SessionInfo& SessionStartEvent::sessionData() {
    return message_.proto().session_data;
}

beacon_appquality_sessions_AppleApplicationInfo& SessionStartEvent::appleInfo() {
    return message_.proto().application_info.platform_info.apple_app_info;
}

void SessionStartEvent::replace(pb_bytes_array_t*& field, const std::string& text) {
    pb_bytes_array_t* fresh = BCNSESEncodeString(text);
    if (!fresh)
        sessionsLog(BCNLoggerLevelWarning, "Session Event field of " + std::to_string(text.size()) +
                                               " bytes is too long and was left out.");
    std::free(field);
    field = fresh;
}

void SessionStartEvent::setInstallationID(const std::string& installationID) {
    replace(sessionData().beacon_installation_id, installationID);
}

void SessionStartEvent::setAuthenticationToken(const std::string& token) {
    replace(sessionData().beacon_authentication_token, token);
}

void SessionStartEvent::setPerformanceState(DataCollectionState state) {
    sessionData().data_collection_status.performance =
        static_cast<beacon_appquality_sessions_DataCollectionState>(state);
}

void SessionStartEvent::setCrashReporterState(DataCollectionState state) {
    sessionData().data_collection_status.crashreporter =
        static_cast<beacon_appquality_sessions_DataCollectionState>(state);
}

void SessionStartEvent::setSamplingRate(double rate) {
    sessionData().data_collection_status.session_sampling_rate = rate;
}

int SessionStartEvent::mappedNetworkType(int platformType) {
    return platformType == 0 || platformType == 1 ? platformType : 8;
}

void SessionStartEvent::setNetworkInfo(const NetworkInfoProtocol& networkInfo) {
    auto& connection = appleInfo().network_connection_info;
    appleInfo().has_network_connection_info = true;
    connection.network_type = mappedNetworkType(networkInfo.networkType());
    connection.mobile_subtype = 0;
}

void SessionStartEvent::resetUnnamedField() {
    replace(appleInfo().unnamed_5, "");
}

beacon_appquality_sessions_OsName SessionStartEvent::osNameFrom(const std::string& platform) {
    std::string lower = platform;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::pair<const char*, beacon_appquality_sessions_OsName> names[] = {
        {"macos", beacon_appquality_sessions_OsName_MACOS},
        {"maccatalyst", beacon_appquality_sessions_OsName_MACCATALYST},
        {"ios_on_mac", beacon_appquality_sessions_OsName_IOS_ON_MAC},
        {"ios", beacon_appquality_sessions_OsName_IOS},
        {"tvos", beacon_appquality_sessions_OsName_TVOS},
        {"watchos", beacon_appquality_sessions_OsName_WATCHOS},
        {"ipados", beacon_appquality_sessions_OsName_IPADOS},
    };
    for (const auto& [name, value] : names)
        if (lower == name) return value;
    sessionsLog(BCNLoggerLevelWarning,
                "Found unknown OSName: \"" + platform + "\" while converting.");
    return beacon_appquality_sessions_OsName_UNKNOWN_OSNAME;
}

std::string SessionStartEvent::transportBytes() const {
    ErrorRef error;
    std::optional<std::string> bytes =
        BCNSESEncodeProto(beacon_appquality_sessions_SessionEvent_fields, &proto(), &error);
    if (error)
        BCNLogError("BeaconSessions", "I-SES000001",
                    "Session Event failed to encode as proto with error: %s",
                    error->description().c_str());
    if (!bytes) {
        BCNLogError("BeaconSessions", "I-SES000002",
                    "Session Event generated nil transportBytes. Returning empty data.");
        return {};
    }
    return *bytes;
}

std::unique_ptr<SessionEventMessage> SessionStartEvent::decoded() const {
    auto message = std::make_unique<SessionEventMessage>();
    const std::string bytes = transportBytes();
    pb_istream_t stream =
        pb_istream_from_buffer(reinterpret_cast<const pb_byte_t*>(bytes.data()), bytes.size());
    if (!pb_decode(&stream, beacon_appquality_sessions_SessionEvent_fields, &message->proto())) {
        const char* reason = PB_GET_ERROR(&stream);
        if (reason && *reason)
            sessionsLog(BCNLoggerLevelError,
                        std::string("Session Event failed to decode transportBytes: ") + reason);
    }
    return message;
}

}  // namespace pex
