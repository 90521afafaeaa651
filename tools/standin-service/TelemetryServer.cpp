#include "standin-service/TelemetryServer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <span>

#include "BeaconTransport/cct/TXBCompressionHelper.h"
#include "beacon-core/UTLGzip.h"

namespace pex::standin {

namespace {

// A minimal reader of the protocol-buffer wire format: enough to walk the upload message.
class WireReader {
  public:
    explicit WireReader(std::string_view bytes) : bytes_(bytes) {}
    bool atEnd() const { return position_ >= bytes_.size(); }
    bool varint(std::uint64_t& value) {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (atEnd()) return false;
            auto byte = static_cast<unsigned char>(bytes_[position_++]);
            value |= std::uint64_t(byte & 0x7F) << shift;
            if (!(byte & 0x80)) return true;
        }
        return false;
    }
    // The next field: its number, wire type and (for length-delimited fields) its bytes.
    bool field(std::uint32_t& number, int& type, std::uint64_t& value, std::string_view& bytes) {
        std::uint64_t key = 0;
        if (!varint(key)) return false;
        number = static_cast<std::uint32_t>(key >> 3);
        type = static_cast<int>(key & 7);
        switch (type) {
            case 0:
                return varint(value);
            case 1:
                return skip(8);
            case 5:
                return skip(4);
            case 2: {
                std::uint64_t length = 0;
                if (!varint(length) || length > bytes_.size() - position_) return false;
                bytes = bytes_.substr(position_, length);
                position_ += length;
                return true;
            }
            default:
                return false;
        }
    }

  private:
    bool skip(std::size_t count) {
        if (count > bytes_.size() - position_) return false;
        position_ += count;
        return true;
    }
    std::string_view bytes_;
    std::size_t position_ = 0;
};

// Walks every field of a message, giving each to `onField(number, type, value, bytes)`; false
// when the message is malformed or `onField` returns false.
template <typename OnField>
bool forEachField(std::string_view bytes, OnField onField) {
    WireReader reader(bytes);
    while (!reader.atEnd()) {
        std::uint32_t number = 0;
        int type = 0;
        std::uint64_t value = 0;
        std::string_view inner;
        if (!reader.field(number, type, value, inner)) return false;
        if (!onField(number, type, value, inner)) return false;
    }
    return true;
}

bool decodeEvent(std::string_view bytes, TelemetryServer::Event& event) {
    return forEachField(
        bytes, [&](std::uint32_t number, int type, std::uint64_t value, std::string_view inner) {
            if (number == 1 && type == 0) event.wallMillis = static_cast<std::int64_t>(value);
            if (number == 6 && type == 2) event.payload = std::string(inner);
            if (number == 11 && type == 0) event.eventCode = static_cast<std::int32_t>(value);
            if (number == 23 && type == 2) event.hasNetworkConnectionInfo = true;
            return true;
        });
}

bool decodeSourceBatch(std::string_view bytes, TelemetryServer::SourceBatch& batch) {
    return forEachField(
        bytes, [&](std::uint32_t number, int type, std::uint64_t value, std::string_view inner) {
            if (number == 2 && type == 0) batch.sourceID = static_cast<std::int32_t>(value);
            if (number == 3 && type == 2) {
                TelemetryServer::Event event;
                if (!decodeEvent(inner, event)) return false;
                batch.events.push_back(std::move(event));
            }
            return true;
        });
}

std::optional<std::string> gunzip(const std::string& bytes) {
    // Generous, yet bounded: a broken client cannot make the stand-in exhaust memory.
    constexpr std::size_t kMaxInflatedBytes = 256u * 1024 * 1024;
    ErrorRef error;
    const std::optional<UTLData> inflated = UTLGzip::dataByInflatingGzippedData(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), &error,
        kMaxInflatedBytes);
    if (!inflated) return std::nullopt;
    return std::string(inflated->begin(), inflated->end());
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<std::string> TelemetryServer::Upload::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (lower(key) == lower(name)) return value;
    return std::nullopt;
}

std::size_t TelemetryServer::Upload::eventCount() const {
    std::size_t count = 0;
    for (const SourceBatch& batch : sourceBatches) count += batch.events.size();
    return count;
}

bool TelemetryServer::decode(const std::string& body, std::vector<SourceBatch>& batches) {
    return forEachField(body,
                        [&](std::uint32_t number, int type, std::uint64_t, std::string_view inner) {
                            if (number == 1 && type == 2) {
                                SourceBatch batch;
                                if (!decodeSourceBatch(inner, batch)) return false;
                                batches.push_back(std::move(batch));
                            }
                            return true;
                        });
}

TelemetryServer::TelemetryServer(StandinService& service) {
    for (const char* path :
         {"/telemetry/log", "/telemetry/batchlog", "/telemetry/crash", "/telemetry/placeholder"})
        service.addPath("POST", path, [this](const Call& call) { return answer(call); });
}

void TelemetryServer::script(ScriptedReply reply) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(reply));
}

std::vector<TelemetryServer::Upload> TelemetryServer::uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
}

void TelemetryServer::clear() {
    std::lock_guard lock(mutex_);
    uploads_.clear();
    script_.clear();
}

Reply TelemetryServer::answer(const Call& call) {
    Upload upload;
    upload.path = call.path;
    upload.headers = call.headers;
    upload.rawBody = call.body;
    std::optional<std::string> body = call.body;
    // The HTTP server may already have inflated a gzip body; inflate only what still is gzip.
    if (TXBCompressionHelper::isGzipped(call.body)) body = gunzip(call.body);
    if (body) {
        upload.body = *body;
        upload.decoded = decode(*body, upload.sourceBatches);
    }
    ScriptedReply reply;
    {
        std::lock_guard lock(mutex_);
        uploads_.push_back(std::move(upload));
        if (!script_.empty()) {
            reply = std::move(script_.front());
            script_.pop_front();
        }
    }
    Reply answer = Reply::text(reply.status, reply.body, "application/x-protobuf");
    answer.headers = reply.headers;
    return answer;
}

}  // namespace pex::standin
