#pragma once
// The stand-in's crash-reporter settings endpoint (GET "/spi/v2/platforms/<platform>/apps/
// <app id>/settings"): every request is recorded and answered with the next scripted reply, or
// else with a settings document (200, "application/json").
//
//   pex::standin::CrashSettingsServer settings(service);   // after service.start()
//   settings.script({503, {{"Retry-After", "3"}}});
//   ... download ...
//   auto requests = settings.requests();
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin-service/StandinService.h"

namespace pex::standin {

class CrashSettingsServer {
  public:
    struct ScriptedReply {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::optional<std::string> body;  // none: the settings document
        std::string contentType = "application/json";
    };
    struct Request {
        std::string path;
        std::multimap<std::string, std::string> query;
        std::multimap<std::string, std::string> headers;
        std::optional<std::string> header(const std::string& name) const;  // case-insensitive
        std::optional<std::string> queryValue(const std::string& name) const;
    };

    explicit CrashSettingsServer(StandinService& service);

    // The document a default reply carries.
    static nlohmann::json defaultDocument();
    void setDocument(nlohmann::json document);
    // Replies for the next requests, in order; then the document again.
    void script(ScriptedReply reply);
    std::vector<Request> requests() const;
    void clear();

  private:
    Reply answer(const Call& call);

    mutable std::mutex mutex_;
    nlohmann::json document_ = defaultDocument();
    std::deque<ScriptedReply> script_;
    std::vector<Request> requests_;
};

}  // namespace pex::standin
