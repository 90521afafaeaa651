#include "standin-service/CrashSettingsServer.h"

#include <strings.h>

namespace pex::standin {

std::optional<std::string> CrashSettingsServer::Request::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (::strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    }
    return std::nullopt;
}

std::optional<std::string> CrashSettingsServer::Request::queryValue(const std::string& name) const {
    const auto found = query.find(name);
    if (found == query.end()) return std::nullopt;
    return found->second;
}

CrashSettingsServer::CrashSettingsServer(StandinService& service) {
    service.addPath("GET", "/spi/v2/platforms/*",
                    [this](const Call& call) { return answer(call); });
}

nlohmann::json CrashSettingsServer::defaultDocument() {
    return {
        {"settings_version", 3},
        {"cache_duration", 86400},
        {"features", {{"collect_reports", true}, {"collect_logged_exceptions", true}}},
        {"app", {{"report_upload_variant", 2}}},
        {"session", {{"log_buffer_size", 64000}, {"max_custom_exception_events", 8}}},
        {"on_demand_upload_rate_per_minute", 10},
    };
}

void CrashSettingsServer::setDocument(nlohmann::json document) {
    std::lock_guard lock(mutex_);
    document_ = std::move(document);
}

void CrashSettingsServer::script(ScriptedReply reply) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(reply));
}

std::vector<CrashSettingsServer::Request> CrashSettingsServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void CrashSettingsServer::clear() {
    std::lock_guard lock(mutex_);
    script_.clear();
    requests_.clear();
}

Reply CrashSettingsServer::answer(const Call& call) {
    ScriptedReply reply;
    std::string document;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back({call.path, call.query, call.headers});
        if (!script_.empty()) {
            reply = std::move(script_.front());
            script_.pop_front();
        }
        document = document_.dump();
    }
    Reply answer = Reply::text(reply.status, reply.body.value_or(document), reply.contentType);
    answer.headers = reply.headers;
    return answer;
}

}  // namespace pex::standin
