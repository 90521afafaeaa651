#include "standin-service/InstallationsServer.h"

#include <algorithm>
#include <cctype>

namespace pex::standin {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<std::string> InstallationsServer::Request::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (lowered(key) == lowered(name)) return value;
    return std::nullopt;
}

InstallationsServer::InstallationsServer(StandinService& service) {
    for (const char* method : {"POST", "DELETE"})
        service.addPath(method, "/v1/projects/*",
                        [this](const Call& call) { return answer(call); });
}

InstallationsServer::~InstallationsServer() {
    std::lock_guard lock(mutex_);
}

void InstallationsServer::script(ScriptedReply reply) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(reply));
}

std::vector<InstallationsServer::Request> InstallationsServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void InstallationsServer::clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    script_.clear();
}

Reply InstallationsServer::answer(const Call& call) {
    ScriptedReply reply;
    int serial = 0;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back({call.method, call.path, call.headers, call.body, call.json});
        if (!script_.empty()) {
            reply = std::move(script_.front());
            script_.pop_front();
        }
        serial = ++issued_;
    }
    if (reply.body) return Reply::text(reply.status, *reply.body, "application/json");
    if (reply.status < 200 || reply.status > 299)
        return Reply::json(reply.status, {{"error", {{"code", reply.status}}}});
    const std::string token = "standin-auth-token-" + std::to_string(serial);
    nlohmann::json tokenJSON = {{"token", token}, {"expiresIn", "604800s"}};
    if (call.method == "DELETE") return Reply::json(reply.status, nlohmann::json::object());
    if (endsWith(call.path, "/authTokens:generate")) return Reply::json(reply.status, tokenJSON);
    const std::string fid =
        call.json.is_object() && call.json.value("fid", nlohmann::json()).is_string()
            ? call.json["fid"].get<std::string>()
            : std::string();
    return Reply::json(reply.status,
                       {{"name", call.path + fid},
                        {"fid", fid},
                        {"refreshToken", "standin-refresh-token-" + std::to_string(serial)},
                        {"authToken", tokenJSON}});
}

}  // namespace pex::standin
