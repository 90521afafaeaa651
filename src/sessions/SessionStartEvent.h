#pragma once
// The one event the sessions component sends: a session event message in nanopb's C
// structures, built from a session, the application information and the clock, completed by
// the start flow and handed to the telemetry transport as bytes. The event owns every byte
// array of its message and frees the old array whenever a field is replaced.
#include <cstdint>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPEvent.h"
#include "sessions/ApplicationInfo.h"
#include "sessions/SessionInfo.h"
#include "sessions/Time.h"
#include "sessions/protos/sessions.pb.h"

namespace pex {

using SessionEventProto = beacon_appquality_sessions_SessionEvent;

// A session event message that frees its byte arrays when it goes.
class SessionEventMessage {
  public:
    SessionEventMessage();  // all zero
    ~SessionEventMessage();
    SessionEventMessage(const SessionEventMessage&) = delete;
    SessionEventMessage& operator=(const SessionEventMessage&) = delete;
    SessionEventProto& proto() { return proto_; }
    const SessionEventProto& proto() const { return proto_; }

  private:
    SessionEventProto proto_;
};

enum DataCollectionState : int {
    DataCollectionStateUnknown = 0,
    DataCollectionStateSDKNotInstalled = 1,
    DataCollectionStateEnabled = 2,
    DataCollectionStateDisabled = 3,
};

class SessionStartEvent : public TXPEventDataObject {
  public:
    SessionStartEvent(const SessionInfo& session, const ApplicationInfoProtocol& appInfo,
                      const TimeProvider& time);

    const SessionEventProto& proto() const { return message_.proto(); }

    void setInstallationID(const std::string& installationID);
    void setAuthenticationToken(const std::string& token);
    void setPerformanceState(DataCollectionState state);
    void setCrashReporterState(DataCollectionState state);
    void setSamplingRate(double rate);
    // The platform's network type: 0 and 1 kept, anything else 8; the subtype becomes 0.
    void setNetworkInfo(const NetworkInfoProtocol& networkInfo);
    // Field 5 of the Apple information, set again to an empty text.
    void resetUnnamedField();

    // The encoded message; empty (with an error line) when it does not encode.
    std::string transportBytes() const override;
    // The encoded message read back into a fresh message.
    std::unique_ptr<SessionEventMessage> decoded() const;

    // "macos" 1 ... "ipados" 7, compared in lower case; anything else 0, with a warning.
    static beacon_appquality_sessions_OsName osNameFrom(const std::string& platform);
    static int mappedNetworkType(int platformType);

  private:
    beacon_appquality_sessions_SessionInfo& sessionData();
    beacon_appquality_sessions_AppleApplicationInfo& appleInfo();
    static void replace(pb_bytes_array_t*& field, const std::string& text);

    SessionEventMessage message_;
};

}  // namespace pex
