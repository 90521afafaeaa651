#pragma once
// The stand-in's installations endpoints (below "/v1/projects/"): register, generate an auth
// token, delete. Every request is recorded; each is answered with the next scripted reply, or
// else as the service does: a registration gets the FID sent, a refresh token and an auth
// token valid for seven days; a token request a new token; a deletion an empty object.
//
//   pex::standin::InstallationsServer installations(service);
//   installations.script({500});          // the next request fails with 500
//   auto requests = installations.requests();
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "standin-service/StandinService.h"

namespace pex::standin {

class InstallationsServer {
  public:
    struct ScriptedReply {
        int status = 200;
        std::optional<std::string> body;  // none: the service's usual reply for a 2xx
    };
    struct Request {
        std::string method;
        std::string path;
        std::multimap<std::string, std::string> headers;
        std::string body;
        nlohmann::json json;
        std::optional<std::string> header(const std::string& name) const;  // case-insensitive
    };

    explicit InstallationsServer(StandinService& service);
    // Takes the lock once more, so what the service's threads recorded is ordered before it
    // goes (their own ending is not seen by the thread sanitizer).
    ~InstallationsServer();
    InstallationsServer(const InstallationsServer&) = delete;
    InstallationsServer& operator=(const InstallationsServer&) = delete;

    void script(ScriptedReply reply);
    std::vector<Request> requests() const;
    void clear();

  private:
    Reply answer(const Call& call);

    mutable std::mutex mutex_;
    std::deque<ScriptedReply> script_;
    std::vector<Request> requests_;
    int issued_ = 0;
};

}  // namespace pex::standin
