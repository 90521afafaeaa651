#include "standin-service/ControlPaths.h"

#include <algorithm>
#include <memory>
#include <string_view>

namespace pex::standin {

namespace {

constexpr std::string_view kControlPrefix = "/standin/";

Reply badRequest(const std::string& why) {
    return Reply::json(400, {{"error", why}});
}

// The fault a control request describes; none when it describes none.
std::optional<Fault> faultFrom(const nlohmann::json& request) {
    if (!request.is_object() || !request.contains("route") || !request["route"].is_string()) {
        return std::nullopt;
    }
    const auto status = request.find("status");
    const auto code = request.find("code");
    const auto times = request.find("times");
    if ((status != request.end() && !status->is_number_integer()) ||
        (code != request.end() && !code->is_number_integer()) ||
        (times != request.end() && !times->is_number_integer())) {
        return std::nullopt;
    }
    const int httpStatus = status != request.end() ? status->get<int>() : 200;
    Fault fault;
    if (code != request.end()) {
        const auto message = request.find("message");
        fault =
            Fault::serviceError(code->get<int>(), message != request.end() && message->is_string()
                                                      ? std::optional(message->get<std::string>())
                                                      : std::nullopt);
        fault.status = httpStatus;
    } else if (httpStatus == 401) {
        fault = Fault::unauthorized();
    } else {
        fault = Fault::serverError(true);
        fault.status = httpStatus;
    }
    if (times != request.end()) fault.times(times->get<int>());
    return fault;
}

nlohmann::json bodyOf(const RecordedRequest& request) {
    nlohmann::json parsed = request.json();
    return parsed.is_null() ? nlohmann::json(request.body) : parsed;
}

// One streamed answer of `count` equal pieces, as "data: " lines of the answer stream. Lines go
// out many to a chunk and without the demo's pace, so a flood arrives as fast as a hostile
// service could send it.
Reply floodReply(const std::string& piece, long count) {
    static constexpr long kLinesPerChunk = 1000;
    const std::string line =
        "data: " + nlohmann::json{{"data", {{"content", piece}}}}.dump() + "\n\n";
    auto left = std::make_shared<long>(count);
    return Reply::produced([line, left]() -> std::optional<std::string> {
        if (*left <= 0) return std::nullopt;
        const long lines = std::min(*left, kLinesPerChunk);
        *left -= lines;
        std::string chunk;
        chunk.reserve(line.size() * static_cast<std::size_t>(lines));
        for (long i = 0; i < lines; ++i) chunk += line;
        return chunk;
    });
}

}  // namespace

void registerControlPaths(StandinService& service) {
    service.addPath("POST", "/standin/faults", [&service](const Call& call) {
        const std::optional<Fault> fault = faultFrom(call.json);
        if (!fault) return badRequest("a fault is {\"route\", \"status\", \"code\", \"times\"}");
        service.setFault(call.json["route"].get<std::string>(), *fault);
        return Reply::ok();
    });
    service.addPath("POST", "/standin/answer-flood", [&service](const Call& call) {
        const nlohmann::json& request = call.json;
        constexpr long kMaxPieces = 10'000'000;
        if (!request.is_object() || !request.contains("piece") || !request["piece"].is_string() ||
            !request.contains("count") || !request["count"].is_number_integer() ||
            request["count"].get<long>() < 1 || request["count"].get<long>() > kMaxPieces) {
            return badRequest("an answer flood is {\"piece\": text, \"count\": 1..10000000}");
        }
        const std::string piece = request["piece"].get<std::string>();
        const long count = request["count"].get<long>();
        // Registered last, it answers every later question in place of the usual answer.
        service.addApiPath("POST", "/ai/meet",
                           [piece, count](const Call&) { return floodReply(piece, count); });
        return Reply::ok();
    });
    service.addPath("DELETE", "/standin/faults", [&service](const Call&) {
        service.clearFaults();
        return Reply::ok();
    });
    service.addPath("GET", "/standin/requests", [&service](const Call&) {
        nlohmann::json list = nlohmann::json::array();
        for (const RecordedRequest& request : service.requests()) {
            if (request.path.compare(0, kControlPrefix.size(), kControlPrefix) == 0) continue;
            list.push_back({{"method", request.method},
                            {"route", request.route},
                            {"query", request.query},
                            {"body", bodyOf(request)},
                            {"port", request.localPort}});
        }
        return Reply::json(200, list);
    });
}

}  // namespace pex::standin
