#pragma once
// The upload's wire messages: a batch of events becomes one UploadBatchMessage (one source
// batch per mapping id), and a reply's UploadReplyMessage gives the wait before the next
// upload. Also the 16-byte network-connection record that events may carry.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "BeaconTransport/TXPLibrary/TXPClock.h"
#include "BeaconTransport/TXPLibrary/TXPUploadBatch.h"
#include "platform/foundation/Error.h"

namespace pex {

// What the request says of this machine and application.
struct TXBClientInfo {
    std::string osVersionShort;  // "major.minor"
    std::string osVersionLong;   // "major.minor.patch"
    std::optional<std::string> appBuild;
    std::optional<std::string> appBundleID;

    // From the running system and the main bundle.
    static TXBClientInfo current();
};

struct TXBUploadReply {
    std::optional<std::int64_t> waitMillis;  // present only when the reply carries it
};

class TXBLogRequest {
  public:
    static constexpr std::size_t kNetworkConnectionRecordSize = 16;

    // The request body; empty when encoding failed (the caller then gives the events back
    // rather than send a cut-off message).
    static std::string constructRequestProtoWithEvents(const TXPEventSet& events);
    static std::string constructRequestProto(const TXPEventSet& events, const TXBClientInfo& client,
                                             const TXPClock& sentClock);

    // None, with `error` set (domain "NSURLErrorDomain", code -1, {"nanopb error:": …}), when
    // `body` is not an UploadReplyMessage.
    static std::optional<TXBUploadReply> decodeLogResponse(std::string_view body,
                                                           ErrorRef* error = nullptr);

    // The record for the current network: network type 1 (Wi-Fi or wired) when reachable,
    // else absent; never a mobile subtype on this platform.
    static std::string networkConnectionInfoRecord();
    static std::string networkConnectionInfoRecord(int networkType, int mobileSubtype);
    static std::uint32_t mobileSubtypeWireValue(int platformSubtype);
};

}  // namespace pex
