#pragma once
// A local stand-in of the service's HTTP API, for tests and the demo. It answers every path the
// application calls with the reply fields the application reads, keeps per-account state
// (accounts, tokens, balance, consumption and order records, bound résumé, uploaded files),
// and can be told to fail in every way the client has to cope with.
//
// In a test:
//
//   pex::standin::StandinService service;
//   service.start();                                   // 127.0.0.1, a free port
//   DeploymentSettings::useSingleOrigin(*Origin::parse(service.origin()));
//   const std::string token = service.state().issueToken("13800138000");
//   service.setFault("/consume/start", Fault::serviceError(1005, "余额不足"));
//   service.setFault("/user/info", Fault::unauthorized().times(2));
//   ... run the client ...
//   auto calls = service.requests("/consume/start");  // what the client sent
//
// Paths under the API base ("<origin>/api/v1") are named without the base ("/user/info");
// other paths by their full path ("/meeting-network.json"). A trailing "*" in a path or a
// fault key matches every path with that prefix ("/user/change_user_type/*").
//
// Adding a path: call `addApiPath` (under the API base) or `addPath` (anywhere) with a handler
// that turns a Call into a Reply; `Reply::ok(data)` builds the {"code","message","data"}
// envelope. The defaults are registered in StandinRoutes.cpp; a later registration of the same
// method and path replaces the earlier one, so a test can swap in its own answer.
//
// More listeners (`addListener`) serve the same paths and state on other ports, to stand in
// for the static-file host or the AI provider as separate origins; each recorded request
// carries the port it arrived on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex::standin {

class StandinState;

// One part of a multipart upload as it arrived. File contents are not kept, only their size
// and CRC-32, so large uploads cost the stand-in no memory.
struct FormPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    std::string content;  // kept for parts up to 64 KiB
};

// A request as a handler sees it.
struct Call {
    std::string method;
    std::string path;   // the full request path, "/api/v1/user/info"
    std::string route;  // the path relative to the API base, or the full path outside it
    std::string rest;   // what a "*" path matched
    std::multimap<std::string, std::string> query;
    std::multimap<std::string, std::string> headers;  // names as sent
    std::string body;
    nlohmann::json json;  // the body parsed as JSON; null when it is not JSON
    std::vector<FormPart> parts;
    int localPort = 0;

    std::optional<std::string> header(const std::string& name) const;  // case-insensitive
    std::optional<std::string> queryValue(const std::string& name) const;
    std::optional<std::string> bearerToken() const;  // from "Authorization: Bearer ..."
};

// An answer. A streamed reply is written piece by piece, with the service's pace between pieces.
struct Reply {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra headers ("Location", ...)
    std::optional<std::vector<std::string>> pieces;            // streamed when set
    // Streamed from a producer: called for each next piece (it may block, e.g. until a test
    // lets it go on); none ends the stream.
    std::function<std::optional<std::string>()> producer;
    // A produced stream has ended: `whole` when it was sent to its end, false when the
    // connection went first (the client closed it, or the server stopped).
    std::function<void(bool whole)> onEnd;

    // {"code": 0, "message": message, "data": data}
    static Reply ok(nlohmann::json data = nullptr, const std::string& message = "");
    // {"code": code, "message": message, "data": null}, with HTTP `status`.
    static Reply error(int code, const std::string& message, int status = 200);
    static Reply json(int status, const nlohmann::json& body);
    static Reply text(int status, std::string body,
                      std::string contentType = "text/plain; charset=utf-8");
    // The server compresses replies when the client allows it, which would hold a stream back;
    // "text/event-stream" (exactly, without parameters) is never compressed.
    static Reply stream(std::vector<std::string> pieces,
                        std::string contentType = "text/event-stream");
    static Reply produced(std::function<std::optional<std::string>()> producer,
                          std::string contentType = "text/event-stream");
    static Reply redirect(const std::string& location, int status = 302);
};

// How a path misbehaves. Factories cover the usual cases; fields can be combined.
struct Fault {
    std::optional<int> status;        // answer with this HTTP status ...
    std::optional<std::string> body;  // ... and this body, in place of the real reply
    std::string contentType = "application/json; charset=utf-8";
    std::chrono::milliseconds delay{0};  // wait this long before answering
    bool dropConnection = false;         // send the head, then close without a body
    bool breakStream = false;            // send part of the body, then close
    int remaining = -1;                  // requests it applies to; -1: until cleared

    static Fault unauthorized();  // 401 {"code":401,"message":"登录已过期，请重新登录"}
    // HTTP 200 with a non-zero "code"; no "message" key when `message` is absent.
    static Fault serviceError(int code, std::optional<std::string> message);
    static Fault serverError(bool withJson);  // 500 with a JSON envelope or a plain text page
    static Fault httpStatus(int status, std::string body,
                            std::string contentType = "application/json; charset=utf-8");
    static Fault notJson();    // 200 with an HTML body
    static Fault emptyBody();  // 200 with no body
    static Fault slow(std::chrono::milliseconds delay);
    static Fault droppedConnection();
    static Fault brokenStream();

    Fault& times(int count) {
        remaining = count;
        return *this;
    }
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::string route;
    std::string query;  // the raw query text, without "?"
    std::multimap<std::string, std::string> headers;
    std::string body;  // at most 64 KiB
    std::vector<FormPart> parts;
    int localPort = 0;

    std::optional<std::string> header(const std::string& name) const;
    nlohmann::json json() const;  // the body as JSON, null when it is not
};

class StandinService {
  public:
    using Handler = std::function<Reply(const Call&)>;

    struct Options {
        std::string host = "127.0.0.1";
        // Pause between the pieces of a streamed reply; the demo sets one so answers visibly grow.
        std::chrono::milliseconds streamPace{0};
        // One console line per request (the demo executable turns it on).
        bool logRequests = false;
    };

    StandinService();
    explicit StandinService(Options options);
    ~StandinService();
    StandinService(const StandinService&) = delete;
    StandinService& operator=(const StandinService&) = delete;

    // Starts the main listener; port 0 picks a free one. Returns the port, or 0 on failure.
    int start(int port = 0);
    // Another listener on the same paths and state; returns its port, or 0 on failure.
    int addListener(int port = 0);
    // Stops every listener; waiting replies (delays, streams) are cut short.
    void stop();

    int port() const;                        // the main listener's port
    std::string origin(int port = 0) const;  // "http://127.0.0.1:<port>" (main port when 0)
    std::string apiBase() const;             // origin() + "/api/v1"

    void addApiPath(const std::string& method, const std::string& path, Handler handler);
    void addPath(const std::string& method, const std::string& path, Handler handler);

    void setFault(const std::string& route, Fault fault);
    void clearFault(const std::string& route);
    void clearFaults();

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requests(const std::string& route) const;
    void clearRequests();

    StandinState& state();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace pex::standin
