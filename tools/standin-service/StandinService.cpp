// The stand-in's HTTP plumbing: listeners, routing, faults and the record of requests.
// The service's own paths are in StandinRoutes.cpp.
#include "standin-service/StandinService.h"

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <thread>

#include "standin-service/StandinRoutes.h"
#include "standin-service/StandinState.h"

namespace pex::standin {

namespace {

constexpr const char* kApiBase = "/api/v1";
constexpr std::size_t kKeptBody = 64 * 1024;

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::optional<std::string> findHeader(const std::multimap<std::string, std::string>& headers,
                                      const std::string& name) {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name)) return value;
    }
    return std::nullopt;
}

// "/user/*" matches "/user/info" (rest "info"); a plain path matches only itself.
bool matches(const std::string& pattern, const std::string& route, std::string* rest = nullptr) {
    if (!pattern.empty() && pattern.back() == '*') {
        const std::string prefix = pattern.substr(0, pattern.size() - 1);
        if (route.compare(0, prefix.size(), prefix) != 0) return false;
        if (rest) *rest = route.substr(prefix.size());
        return true;
    }
    return pattern == route;
}

std::string envelope(int code, const std::optional<std::string>& message) {
    nlohmann::json body = {{"code", code}, {"data", nullptr}};
    if (message) body["message"] = *message;
    return body.dump();
}

}  // namespace

// ---- Call, RecordedRequest ----

std::optional<std::string> Call::header(const std::string& name) const {
    return findHeader(headers, name);
}

std::optional<std::string> Call::queryValue(const std::string& name) const {
    auto found = query.find(name);
    if (found == query.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> Call::bearerToken() const {
    const auto authorization = header("Authorization");
    const std::string prefix = "Bearer ";
    if (!authorization || authorization->compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    return authorization->substr(prefix.size());
}

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    return findHeader(headers, name);
}

nlohmann::json RecordedRequest::json() const {
    nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
    return parsed.is_discarded() ? nlohmann::json() : parsed;
}

// ---- Reply, Fault ----

Reply Reply::ok(nlohmann::json data, const std::string& message) {
    Reply reply;
    reply.body =
        nlohmann::json{{"code", 0}, {"message", message}, {"data", std::move(data)}}.dump();
    return reply;
}

Reply Reply::error(int code, const std::string& message, int status) {
    Reply reply;
    reply.status = status;
    reply.body = envelope(code, message);
    return reply;
}

Reply Reply::json(int status, const nlohmann::json& body) {
    Reply reply;
    reply.status = status;
    reply.body = body.dump();
    return reply;
}

Reply Reply::text(int status, std::string body, std::string contentType) {
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(contentType);
    return reply;
}

Reply Reply::stream(std::vector<std::string> pieces, std::string contentType) {
    Reply reply;
    reply.contentType = std::move(contentType);
    reply.pieces = std::move(pieces);
    return reply;
}

Reply Reply::produced(std::function<std::optional<std::string>()> producer,
                      std::string contentType) {
    Reply reply;
    reply.contentType = std::move(contentType);
    reply.producer = std::move(producer);
    return reply;
}

Reply Reply::redirect(const std::string& location, int status) {
    Reply reply;
    reply.status = status;
    reply.headers.emplace_back("Location", location);
    return reply;
}

Fault Fault::unauthorized() {
    Fault fault;
    fault.status = 401;
    fault.body = envelope(401, "登录已过期，请重新登录");
    return fault;
}

Fault Fault::serviceError(int code, std::optional<std::string> message) {
    Fault fault;
    fault.status = 200;
    fault.body = envelope(code, message);
    return fault;
}

Fault Fault::serverError(bool withJson) {
    if (withJson) return httpStatus(500, envelope(500, "服务器内部错误"));
    return httpStatus(500, "Internal Server Error", "text/plain; charset=utf-8");
}

Fault Fault::httpStatus(int status, std::string body, std::string contentType) {
    Fault fault;
    fault.status = status;
    fault.body = std::move(body);
    fault.contentType = std::move(contentType);
    return fault;
}

Fault Fault::notJson() {
    return httpStatus(200, "<html><body>维护中</body></html>", "text/html; charset=utf-8");
}

Fault Fault::emptyBody() {
    return httpStatus(200, "");
}

Fault Fault::slow(std::chrono::milliseconds delay) {
    Fault fault;
    fault.delay = delay;
    return fault;
}

Fault Fault::droppedConnection() {
    Fault fault;
    fault.dropConnection = true;
    return fault;
}

Fault Fault::brokenStream() {
    Fault fault;
    fault.breakStream = true;
    return fault;
}

// ---- The service ----

struct StandinService::Impl {
    struct Route {
        std::string method;
        std::string path;
        bool api = true;
        Handler handler;
    };
    struct Listener {
        std::unique_ptr<httplib::Server> server;
        std::thread thread;
        int port = 0;
    };

    Options options;
    StandinState state;
    mutable std::mutex mutex;  // routes, faults, records, listeners
    std::vector<Route> routes;
    std::map<std::string, Fault> faults;
    std::vector<RecordedRequest> records;
    std::vector<std::unique_ptr<Listener>> listeners;

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;

    // Waits, or less when the service stops; false when it stopped.
    bool pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(stopMutex);
        return !stopSignal.wait_for(lock, duration, [&] { return stopping; });
    }

    int listen(int port);
    void configure(httplib::Server& server);
    void handle(const httplib::Request& request, httplib::Response& response, std::string body,
                std::vector<FormPart> parts);
    std::optional<Fault> takeFault(const std::string& route);
    void send(httplib::Response& response, Reply reply, bool breakStream);
};

void StandinService::Impl::configure(httplib::Server& server) {
    // One request per connection: stopping never waits for an idle kept-alive connection.
    server.set_keep_alive_max_count(1);
    auto plain = [this](const httplib::Request& request, httplib::Response& response) {
        handle(request, response, request.body, {});
    };
    // Bodies are read here, in pieces, so a large upload is never held whole.
    auto reading = [this](const httplib::Request& request, httplib::Response& response,
                          const httplib::ContentReader& reader) {
        std::string body;
        std::vector<FormPart> parts;
        if (request.is_multipart_form_data()) {
            reader(
                [&](const httplib::MultipartFormData& head) {
                    parts.push_back({head.name, head.filename, head.content_type, 0, 0, {}});
                    return true;
                },
                [&](const char* data, size_t length) {
                    FormPart& part = parts.back();
                    part.size += length;
                    part.crc32 = static_cast<std::uint32_t>(
                        ::crc32(part.crc32, reinterpret_cast<const Bytef*>(data),
                                static_cast<uInt>(length)));
                    if (part.size <= kKeptBody) {
                        part.content.append(data, length);
                    } else {
                        part.content.clear();
                    }
                    return true;
                });
        } else {
            reader([&](const char* data, size_t length) {
                body.append(data, length);
                return true;
            });
        }
        handle(request, response, std::move(body), std::move(parts));
    };
    server.Get(".*", plain);
    server.Delete(".*", plain);
    server.Options(".*", plain);
    server.Post(".*", reading);
    server.Put(".*", reading);
    server.Patch(".*", reading);
    if (options.logRequests) {
        server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
            std::printf("%s %s -> %d\n", request.method.c_str(), request.path.c_str(),
                        response.status);
            std::fflush(stdout);
        });
    }
}

int StandinService::Impl::listen(int port) {
    auto listener = std::make_unique<Listener>();
    listener->server = std::make_unique<httplib::Server>();
    configure(*listener->server);
    if (port == 0) {
        listener->port = listener->server->bind_to_any_port(options.host);
    } else if (listener->server->bind_to_port(options.host, port)) {
        listener->port = port;
    }
    if (listener->port <= 0) return 0;
    httplib::Server* server = listener->server.get();
    listener->thread = std::thread([server] { server->listen_after_bind(); });
    // stop() only works once the loop runs; wait for it so a quick stop cannot hang.
    while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int bound = listener->port;
    std::lock_guard lock(mutex);
    listeners.push_back(std::move(listener));
    return bound;
}

std::optional<Fault> StandinService::Impl::takeFault(const std::string& route) {
    std::lock_guard lock(mutex);
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (!matches(it->first, route)) continue;
        Fault fault = it->second;
        if (it->second.remaining > 0 && --it->second.remaining == 0) faults.erase(it);
        return fault;
    }
    return std::nullopt;
}

void StandinService::Impl::handle(const httplib::Request& request, httplib::Response& response,
                                  std::string body, std::vector<FormPart> parts) {
    Call call;
    call.method = request.method;
    call.path = request.path;
    const std::string api = kApiBase;
    const bool isApi = call.path.compare(0, api.size() + 1, api + "/") == 0;
    call.route = isApi ? call.path.substr(api.size()) : call.path;
    for (const auto& [name, value] : request.params) call.query.emplace(name, value);
    for (const auto& [name, value] : request.headers) call.headers.emplace(name, value);
    call.body = std::move(body);
    call.json = nlohmann::json::parse(call.body, nullptr, false);
    if (call.json.is_discarded()) call.json = nullptr;
    call.parts = std::move(parts);
    call.localPort = request.local_port;

    RecordedRequest record;
    record.method = call.method;
    record.path = call.path;
    record.route = call.route;
    const auto question = request.target.find('?');
    if (question != std::string::npos) record.query = request.target.substr(question + 1);
    record.headers = call.headers;
    record.body = call.body.substr(0, kKeptBody);
    record.parts = call.parts;
    record.localPort = call.localPort;

    Handler handler;
    {
        std::lock_guard lock(mutex);
        records.push_back(std::move(record));
        const std::string method = call.method == "HEAD" ? "GET" : call.method;
        // The latest registration wins, so tests can replace a default answer.
        for (auto it = routes.rbegin(); it != routes.rend(); ++it) {
            if (it->api == isApi && it->method == method &&
                matches(it->path, call.route, &call.rest)) {
                handler = it->handler;
                break;
            }
        }
    }

    const std::optional<Fault> fault = takeFault(call.route);
    if (fault && fault->delay.count() > 0 && !pause(fault->delay)) {
        send(response, Reply::error(503, "stand-in stopping", 503), false);
        return;
    }
    if (fault && fault->dropConnection) {
        // The head goes out with a promised length; no body follows and the connection closes.
        response.status = 200;
        response.set_content_provider(1024, "application/json",
                                      [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    Reply reply;
    if (fault && (fault->status || fault->body)) {
        reply =
            Reply::text(fault->status.value_or(200), fault->body.value_or(""), fault->contentType);
    } else if (handler) {
        reply = handler(call);
    } else {
        reply = Reply::error(404, "接口不存在", 404);
    }
    send(response, std::move(reply), fault && fault->breakStream);
}

void StandinService::Impl::send(httplib::Response& response, Reply reply, bool breakStream) {
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) response.set_header(name, value);
    if (reply.producer) {
        auto producer = std::move(reply.producer);
        auto sent = std::make_shared<std::size_t>(0);
        response.set_chunked_content_provider(
            reply.contentType,
            [producer, sent, breakStream](size_t, httplib::DataSink& sink) {
                if (breakStream && *sent >= 1) return false;
                const std::optional<std::string> piece = producer();
                if (!piece) {
                    sink.done();
                    return true;
                }
                ++*sent;
                return sink.write(piece->data(), piece->size());
            },
            std::move(reply.onEnd));
        return;
    }
    if (reply.pieces) {
        auto pieces = std::make_shared<std::vector<std::string>>(std::move(*reply.pieces));
        auto next = std::make_shared<std::size_t>(0);
        response.set_chunked_content_provider(
            reply.contentType, [this, pieces, next, breakStream](size_t, httplib::DataSink& sink) {
                if (*next >= pieces->size()) {
                    sink.done();
                    return true;
                }
                if (breakStream && *next >= std::max<std::size_t>(1, pieces->size() / 2)) {
                    return false;  // the stream ends without its closing chunk
                }
                const std::string& piece = (*pieces)[(*next)++];
                if (!sink.write(piece.data(), piece.size())) return false;
                if (options.streamPace.count() > 0 && !pause(options.streamPace)) return false;
                return true;
            });
        return;
    }
    if (breakStream && !reply.body.empty()) {
        auto body = std::make_shared<std::string>(std::move(reply.body));
        response.set_content_provider(body->size(), reply.contentType,
                                      [body](size_t offset, size_t, httplib::DataSink& sink) {
                                          const std::size_t half = body->size() / 2;
                                          if (offset >= half) return false;
                                          sink.write(body->data() + offset, half - offset);
                                          return true;
                                      });
        return;
    }
    response.set_content(reply.body, reply.contentType);
}

StandinService::StandinService() : StandinService(Options{}) {}

StandinService::StandinService(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    registerDefaultPaths(*this);
}

StandinService::~StandinService() {
    stop();
}

int StandinService::start(int port) {
    return impl_->listen(port);
}

int StandinService::addListener(int port) {
    return impl_->listen(port);
}

void StandinService::stop() {
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopSignal.notify_all();
    std::vector<std::unique_ptr<Impl::Listener>> listeners;
    {
        std::lock_guard lock(impl_->mutex);
        listeners.swap(impl_->listeners);
    }
    for (auto& listener : listeners) {
        listener->server->stop();
        if (listener->thread.joinable()) listener->thread.join();
    }
}

int StandinService::port() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->listeners.empty() ? 0 : impl_->listeners.front()->port;
}

std::string StandinService::origin(int port) const {
    return "http://" + impl_->options.host + ":" + std::to_string(port ? port : this->port());
}

std::string StandinService::apiBase() const {
    return origin() + kApiBase;
}

void StandinService::addApiPath(const std::string& method, const std::string& path,
                                Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->routes.push_back({method, path, true, std::move(handler)});
}

void StandinService::addPath(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->routes.push_back({method, path, false, std::move(handler)});
}

void StandinService::setFault(const std::string& route, Fault fault) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults[route] = std::move(fault);
}

void StandinService::clearFault(const std::string& route) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults.erase(route);
}

void StandinService::clearFaults() {
    std::lock_guard lock(impl_->mutex);
    impl_->faults.clear();
}

std::vector<RecordedRequest> StandinService::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->records;
}

std::vector<RecordedRequest> StandinService::requests(const std::string& route) const {
    std::lock_guard lock(impl_->mutex);
    std::vector<RecordedRequest> found;
    for (const auto& record : impl_->records) {
        if (matches(route, record.route)) found.push_back(record);
    }
    return found;
}

void StandinService::clearRequests() {
    std::lock_guard lock(impl_->mutex);
    impl_->records.clear();
}

StandinState& StandinService::state() {
    return impl_->state;
}

}  // namespace pex::standin
