// Sign-in, profile and account paths.
#include "standin-service/StandinRoutes.h"

namespace pex::standin {

namespace {

std::string textOf(const nlohmann::json& body, const char* key) {
    if (!body.is_object() || !body.contains(key)) return {};
    const auto& value = body[key];
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number()) return value.dump();
    return {};
}

nlohmann::json loginData(const Account& account, const std::string& token) {
    return {{"token", token},
            {"rights", nlohmann::json::array({"interview", "translate"})},
            {"user", account.userJson()}};
}

Reply signIn(StandinState::Data& data, Account& account, const std::string& countryCode) {
    if (!countryCode.empty()) account.countryCode = countryCode;
    account.lastLoginAt = serviceTimeNow();
    const std::string token = StandinState::newToken(data, account.phone);
    return Reply::ok(loginData(account, token), "登录成功");
}

}  // namespace

void registerUserPaths(StandinService& service) {
    StandinState& state = service.state();

    service.addApiPath("GET", "/user/get_login_method", [&state](const Call&) {
        return Reply::ok(state.with([](StandinState::Data& data) { return data.loginMethod; }));
    });

    service.addApiPath("POST", "/user/send_sms_code", [&state](const Call& call) {
        const std::string phone = textOf(call.json, "phone");
        if (phone.empty()) return Reply::error(1, "请输入手机号");
        if (textOf(call.json, "data").empty()) return Reply::error(1, "人机验证失败，请重试");
        state.with(
            [&](StandinState::Data& data) { data.smsCodes[phone] = StandinState::kSmsCode; });
        return Reply::ok(nullptr, "验证码已发送");
    });

    // SMS sign-in also registers a new phone number.
    service.addApiPath("POST", "/user/login", [&state](const Call& call) {
        const std::string phone = textOf(call.json, "phone");
        const std::string code = textOf(call.json, "code");
        return state.with([&](StandinState::Data& data) {
            auto sent = data.smsCodes.find(phone);
            if (phone.empty() || sent == data.smsCodes.end() || sent->second != code) {
                return Reply::error(1001, "验证码错误或已过期");
            }
            data.smsCodes.erase(sent);
            Account& account = StandinState::ensureAccount(data, phone);
            return signIn(data, account, textOf(call.json, "country_code"));
        });
    });

    service.addApiPath("POST", "/user/account/login", [&state](const Call& call) {
        const std::string phone = textOf(call.json, "phone");
        const std::string password = textOf(call.json, "password");
        return state.with([&](StandinState::Data& data) {
            auto found = data.accounts.find(phone);
            if (found == data.accounts.end() || found->second.password.empty() ||
                found->second.password != password) {
                return Reply::error(1002, "账号或密码错误");
            }
            return signIn(data, found->second, textOf(call.json, "country_code"));
        });
    });

    service.addApiPath("GET", "/user/info", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            return Reply::ok(loginData(data.accounts.at(*phone), *call.bearerToken()));
        });
    });

    service.addApiPath("POST", "/user/logout", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            if (!signedInPhone(data, call)) return sessionExpired();
            data.tokens.erase(*call.bearerToken());
            StandinState::saveTokens(data);
            return Reply::ok(nullptr, "退出成功");
        });
    });

    service.addApiPath("POST", "/user/logoff", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            std::erase_if(data.tokens, [&](const auto& entry) { return entry.second == *phone; });
            data.accounts.erase(*phone);
            return Reply::ok(nullptr, "账号已注销");
        });
    });

    service.addApiPath("PUT", "/user/change_user_type/*", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            if (call.rest.empty() ||
                call.rest.find_first_not_of("0123456789") != std::string::npos ||
                call.rest.size() > 9) {
                return Reply::error(1, "用户类型无效");
            }
            data.accounts.at(*phone).type = std::stoll(call.rest);
            return Reply::ok(nullptr, "切换成功");
        });
    });

    service.addApiPath("POST", "/user/bind_resume/*", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            auto upload = data.uploads.find(call.rest);
            if (upload == data.uploads.end()) return Reply::error(1004, "文件不存在");
            data.accounts.at(*phone).resume =
                ResumeRecord{upload->second.id, upload->second.fileName, isoTimeNow()};
            return Reply::ok(nullptr, "绑定成功");
        });
    });

    service.addApiPath("GET", "/user/delete_resume", [&state](const Call& call) {
        return state.with([&](StandinState::Data& data) {
            const auto phone = signedInPhone(data, call);
            if (!phone) return sessionExpired();
            data.accounts.at(*phone).resume.reset();
            return Reply::ok(nullptr, "删除成功");
        });
    });
}

}  // namespace pex::standin
