#pragma once
// The "data" of the login replies and of "/user/info". A mapped model is the caller's sign of
// success; the profile itself is read with UserBaseModel::fromJSON from "data" → "user".
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/ReplyMapper.h"

namespace pex {

// The "user" object as mapped here; nothing reads it.
struct UserModel {
    std::optional<std::string> user_code;
    std::optional<std::string> nick_name;
    std::optional<std::string> country_code;
    std::optional<std::string> phone;
    std::optional<std::string> point;
    std::int64_t duration = 0;
    std::optional<std::string> last_login_at;

    void mapping(ReplyMapper& map) {
        map.text("user_code", user_code);
        map.text("nick_name", nick_name);
        map.text("country_code", country_code);
        map.text("phone", phone);
        map.text("point", point);
        map.integer("duration", duration);
        map.text("last_login_at", last_login_at);
    }
    bool operator==(const UserModel&) const = default;
};

struct LoginUserModel {
    std::optional<std::vector<std::string>> rights;
    std::optional<std::string> token;  // stored under "LOGIN_TOKEN"; none removes that key
    std::optional<UserModel> user;

    void mapping(ReplyMapper& map) {
        map.texts("rights", rights);
        map.text("token", token);
        map.model("user", user);
    }
    bool operator==(const LoginUserModel&) const = default;
};

}  // namespace pex
