#pragma once
// The signed-in user's profile as kept between launches under "userInfo", and the résumé bound
// to the account.
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/SettingsKeys.h"

namespace pex {

struct UserResumeInfo {
    std::string resume_id;
    std::string resume_name;  // file name shown on the AI settings page
    std::string created_at;

    // Lenient reader; cannot fail.
    static UserResumeInfo fromJSON(const nlohmann::json& json);

    bool operator==(const UserResumeInfo&) const = default;
};

struct UserBaseModel {
    static constexpr const char* kSettingsKey = SettingsKeys::userInfo;

    std::string user_code;
    std::string nick_name;
    std::string country_code;
    std::string phone;
    std::string point;
    std::int64_t duration = 0;
    std::string last_login_at;
    std::optional<UserResumeInfo> resume;
    std::int64_t type = 0;
    std::int64_t foreign_time_package = 0;
    std::int64_t total_foreign_time_package = 0;
    std::int64_t total_time_package = 0;
    std::int64_t time_package = 0;
    std::int64_t sumTimePackage = 0;  // remaining interview time in seconds
    std::int64_t sumTotalTimePackage = 0;

    // Lenient reader of the reply's "data" → "user" object. Always sets `resume` (three empty
    // texts when the reply has none). Cannot fail.
    static UserBaseModel fromJSON(const nlohmann::json& json);

    // Whether any interview time is left; zero or a negative remainder is none.
    bool hasTimeLeft() const { return sumTimePackage > 0; }
    // The remaining time as "%02d:%02d:%02d" (hours may run past 99).
    std::string remainingTimeText() const { return durationText(sumTimePackage); }
    // Seconds shown as hours, minutes and seconds; a negative count shows as 00:00:00.
    static std::string durationText(std::int64_t seconds);

    bool operator==(const UserBaseModel&) const = default;
};

// Stored forms. Decoding a profile needs every key but "resume" with its JSON type; a present
// "resume" needs its three texts. A failure throws, so the stored value reads as no profile.
void to_json(nlohmann::json& json, const UserResumeInfo& resume);
void from_json(const nlohmann::json& json, UserResumeInfo& resume);
void to_json(nlohmann::json& json, const UserBaseModel& user);
void from_json(const nlohmann::json& json, UserBaseModel& user);

}  // namespace pex
