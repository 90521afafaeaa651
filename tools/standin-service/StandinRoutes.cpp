#include "standin-service/StandinRoutes.h"

namespace pex::standin {

void registerDefaultPaths(StandinService& service) {
    registerUserPaths(service);
    registerBillingPaths(service);
    registerContentPaths(service);
}

std::optional<std::string> signedInPhone(StandinState::Data& data, const Call& call) {
    const auto token = call.bearerToken();
    if (!token) return std::nullopt;
    auto found = data.tokens.find(*token);
    if (found == data.tokens.end() || !data.accounts.count(found->second)) return std::nullopt;
    return found->second;
}

Reply sessionExpired() {
    return Reply::error(401, "登录已过期，请重新登录", 401);
}

std::string originOf(const Call& call) {
    return "http://" + call.header("Host").value_or("127.0.0.1:" + std::to_string(call.localPort));
}

}  // namespace pex::standin
