#pragma once
// The stand-in's telemetry endpoints ("/telemetry/log", "/telemetry/batchlog",
// "/telemetry/crash", "/telemetry/placeholder"): every upload is recorded, un-gzipped and
// decoded (source batches, their events and payloads), and answered with the next scripted
// reply (by default 200 with an empty body).
//
//   pex::standin::TelemetryServer telemetry(service);   // after service.start()
//   telemetry.script({429, {{"Retry-After", "120"}}, ""});
//   ... upload ...
//   auto uploads = telemetry.uploads();
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin-service/StandinService.h"

namespace pex::standin {

class TelemetryServer {
  public:
    struct ScriptedReply {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };
    struct Event {
        std::int64_t wallMillis = 0;
        std::string payload;
        std::optional<std::int64_t> eventCode;
        bool hasNetworkConnectionInfo = false;
    };
    struct SourceBatch {
        std::int64_t sourceID = 0;
        std::vector<Event> events;
    };
    struct Upload {
        std::string path;
        std::multimap<std::string, std::string> headers;
        std::string rawBody;  // as received (the HTTP server inflates gzip bodies itself)
        std::string body;     // un-gzipped
        bool decoded = false;
        std::vector<SourceBatch> sourceBatches;

        std::optional<std::string> header(const std::string& name) const;
        std::size_t eventCount() const;
    };

    explicit TelemetryServer(StandinService& service);

    // Replies for the next uploads, in order; then 200 with an empty body again.
    void script(ScriptedReply reply);
    std::vector<Upload> uploads() const;
    void clear();

    // The upload message read back (exposed for tests of the reader itself).
    static bool decode(const std::string& body, std::vector<SourceBatch>& batches);

  private:
    Reply answer(const Call& call);

    mutable std::mutex mutex_;
    std::deque<ScriptedReply> script_;
    std::vector<Upload> uploads_;
};

}  // namespace pex::standin
