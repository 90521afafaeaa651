#include "BeaconTransport/cct/TXBLogRequest.h"

#include <pb_decode.h>
#include <pb_encode.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/TXPLibrary/TXPPlatform.h"
#include "BeaconTransport/cct/TXBNanopbFields.h"
#include "BeaconTransport/cct/TXPEventTXBSupport.h"
#include "BeaconTransport/cct/protos/txb_upload.pb.h"
#include "platform/foundation/Bundle.h"

namespace pex {

namespace {

constexpr int kDesktopClientKind = 15;
constexpr int kProductKind = 5;

using nanopb::RepeatedField;
using nanopb::setBytes;
using nanopb::setRepeated;

std::int32_t readInt32(const std::string& bytes, std::size_t offset) {
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;  // little-endian on this platform, as the record is written
}

// Everything a request points into; it lives until the encoding is done.
struct RequestStorage {
    std::string osShort, osLong, appBuild, bundleID;
    std::vector<std::string> payloads;  // stable: reserved before use
    std::vector<RepeatedField<txb_EventEntryMessage>> eventLists;
    RepeatedField<txb_SourceBatchMessage> sources{txb_SourceBatchMessage_fields, {}};
};

txb_EventEntryMessage eventEntry(const TXPEvent& event, const std::string& payload) {
    txb_EventEntryMessage entry = txb_EventEntryMessage_init_zero;
    TXPClock clock = event.clockSnapshot().value_or(TXPClock(0, 0, 0, 0));
    entry.has_wall_ms = true;
    entry.wall_ms = clock.timeMillis();
    entry.has_uptime_ms = true;
    entry.uptime_ms = clock.uptimeMilliseconds();
    entry.has_zone_offset_s = true;
    entry.zone_offset_s = clock.timezoneOffsetSeconds();
    if (event.customBytes()) {
        // Only a whole record is used: any other length is not a record of ours.
        std::optional<std::string> record = TXBNetworkConnectionInfoData(event);
        if (record && record->size() == TXBLogRequest::kNetworkConnectionRecordSize) {
            entry.has_network_connection_info = true;
            txb_ConnectionMessage& connection = entry.network_connection_info;
            connection.has_network_type = (*record)[0] != 0;
            connection.network_type = static_cast<txb_ConnectionMessage_NetworkType>(
                connection.has_network_type ? readInt32(*record, 4) : -1);
            connection.has_mobile_subtype = (*record)[8] != 0;
            connection.mobile_subtype = static_cast<std::uint32_t>(readInt32(*record, 12));
        }
        if (std::optional<std::int64_t> code = TXBEventCode(event)) {
            entry.has_event_code = true;
            entry.event_code = static_cast<std::int32_t>(*code);
        }
    }
    setBytes(entry.payload, &payload);
    if (event.productData()) {
        entry.has_product = true;
        entry.product.has_holder = true;
        entry.product.holder.has_ids = true;
        entry.product.holder.ids.has_product_id = true;
        entry.product.holder.ids.product_id = event.productData()->productID();
        entry.product.has_kind = true;
        entry.product.kind = static_cast<txb_ProductMessage_ProductKind>(kProductKind);
    }
    return entry;
}

std::int32_t sourceID(const std::string& mappingID) {
    std::int32_t value = 0;
    std::sscanf(mappingID.c_str(), "%d", &value);
    return value;
}

}  // namespace

TXBClientInfo TXBClientInfo::current() {
    TXBClientInfo info;
    utsname system{};
    unsigned major = 0, minor = 0, patch = 0;
    if (::uname(&system) == 0) std::sscanf(system.release, "%u.%u.%u", &major, &minor, &patch);
    info.osVersionShort = std::to_string(major) + "." + std::to_string(minor);
    info.osVersionLong = info.osVersionShort + "." + std::to_string(patch);
    Bundle bundle = Bundle::main();
    if (!bundle.buildVersion().empty()) info.appBuild = bundle.buildVersion();
    if (!bundle.bundleIdentifier().empty()) info.appBundleID = bundle.bundleIdentifier();
    return info;
}

std::string TXBLogRequest::constructRequestProtoWithEvents(const TXPEventSet& events) {
    return constructRequestProto(events, TXBClientInfo::current(), TXPClock::snapshot());
}

std::string TXBLogRequest::constructRequestProto(const TXPEventSet& events,
                                                 const TXBClientInfo& client,
                                                 const TXPClock& sentClock) {
    std::map<std::string, std::vector<const TXPEvent*>> bySource;
    for (const auto& [id, event] : events) bySource[event.mappingID()].push_back(&event);

    RequestStorage storage;
    storage.osShort = client.osVersionShort;
    storage.osLong = client.osVersionLong;
    storage.appBuild = client.appBuild.value_or("");
    storage.bundleID = client.appBundleID.value_or("");
    storage.payloads.reserve(events.size());
    storage.eventLists.reserve(bySource.size());
    for (const auto& [mappingID, group] : bySource) {
        auto& list = storage.eventLists.emplace_back(
            RepeatedField<txb_EventEntryMessage>{txb_EventEntryMessage_fields, {}});
        for (const TXPEvent* event : group) {
            const std::string& payload =
                storage.payloads.emplace_back(event->serializedDataObjectBytes().value_or(""));
            list.items.push_back(eventEntry(*event, payload));
        }
        txb_SourceBatchMessage source = txb_SourceBatchMessage_init_zero;
        source.has_client = true;
        source.client.has_client_kind = true;
        source.client.client_kind =
            static_cast<txb_ClientDescriptionMessage_ClientKind>(kDesktopClientKind);
        source.client.has_desktop_client = true;
        setBytes(source.client.desktop_client.os_version_short, &storage.osShort);
        setBytes(source.client.desktop_client.os_version_long, &storage.osLong);
        if (client.appBuild) setBytes(source.client.desktop_client.app_build, &storage.appBuild);
        if (client.appBundleID)
            setBytes(source.client.desktop_client.app_bundle_id, &storage.bundleID);
        source.has_source_id = true;
        source.source_id = sourceID(mappingID);
        setRepeated(source.events, list);
        source.has_sent_wall_ms = true;
        source.sent_wall_ms = sentClock.timeMillis();
        source.has_sent_uptime_ms = true;
        source.sent_uptime_ms = sentClock.uptimeMilliseconds();
        storage.sources.items.push_back(source);
    }
    if (storage.sources.items.empty()) {
        TXPConsoleLog(TXPMessageCodeUploadFailure, TXPLogLevelError,
                      "An empty event set can't be serialized to proto.");
        return {};
    }
    txb_UploadBatchMessage request = txb_UploadBatchMessage_init_zero;
    setRepeated(request.source_batches, storage.sources);

    std::size_t size = 0;
    if (!pb_get_encoded_size(&size, txb_UploadBatchMessage_fields, &request)) {
        TXPConsoleLog(TXPMessageCodeUploadFailure, TXPLogLevelError,
                      "Error in nanopb encoding for size: (none)");
        return {};
    }
    std::string bytes(size, '\0');
    pb_ostream_t stream =
        pb_ostream_from_buffer(reinterpret_cast<pb_byte_t*>(bytes.data()), bytes.size());
    if (!pb_encode(&stream, txb_UploadBatchMessage_fields, &request) ||
        stream.bytes_written != size) {
        const char* problem = PB_GET_ERROR(&stream);
        TXPConsoleLog(
            TXPMessageCodeUploadFailure, TXPLogLevelError,
            std::string("Error in nanopb encoding for bytes: ") + (problem ? problem : "(none)"));
        return {};  // never a cut-off message
    }
    return bytes;
}

std::optional<TXBUploadReply> TXBLogRequest::decodeLogResponse(std::string_view body,
                                                               ErrorRef* error) {
    txb_UploadReplyMessage reply = txb_UploadReplyMessage_init_zero;
    pb_istream_t stream =
        pb_istream_from_buffer(reinterpret_cast<const pb_byte_t*>(body.data()), body.size());
    if (!pb_decode(&stream, txb_UploadReplyMessage_fields, &reply)) {
        const char* problem = PB_GET_ERROR(&stream);
        if (error)
            *error = Error::make("NSURLErrorDomain", -1,
                                 {{"nanopb error:", problem ? problem : "(none)"}});
        return std::nullopt;
    }
    TXBUploadReply decoded;
    if (reply.has_wait_ms) decoded.waitMillis = reply.wait_ms;
    return decoded;
}

std::uint32_t TXBLogRequest::mobileSubtypeWireValue(int platformSubtype) {
    static const std::map<int, std::uint32_t> kWireValues = {{1, 1},  {2, 2},   {3, 0},  {4, 8},
                                                             {5, 9},  {6, 4},   {7, 5},  {8, 6},
                                                             {9, 12}, {10, 14}, {11, 13}};
    auto found = kWireValues.find(platformSubtype);
    return found == kWireValues.end() ? 0 : found->second;
}

std::string TXBLogRequest::networkConnectionInfoRecord(int networkType, int mobileSubtype) {
    std::string record(kNetworkConnectionRecordSize, '\0');
    std::int32_t type = -1;
    std::uint32_t subtype = 0;
    bool hasType = false, hasSubtype = false;
    if (networkType == 2) {
        hasType = true;
        type = 0;  // mobile
        subtype = mobileSubtypeWireValue(mobileSubtype);
        hasSubtype = subtype != 0;
    } else if (networkType != 0) {
        hasType = true;
        type = 1;  // Wi-Fi or wired
    }
    record[0] = hasType ? 1 : 0;
    std::memcpy(record.data() + 4, &type, sizeof type);
    record[8] = hasSubtype ? 1 : 0;
    std::memcpy(record.data() + 12, &subtype, sizeof subtype);
    return record;
}

std::string TXBLogRequest::networkConnectionInfoRecord() {
    return networkConnectionInfoRecord(TXPCurrentNetworkType(), TXPCurrentMobileSubtype());
}

}  // namespace pex
