#include "service/UserBaseModel.h"

#include <cinttypes>
#include <cstdio>

#include "service/JsonFields.h"

namespace pex {

namespace {

constexpr std::tuple kResumeFields{
    fields::field("resume_id", &UserResumeInfo::resume_id),
    fields::field("resume_name", &UserResumeInfo::resume_name),
    fields::field("created_at", &UserResumeInfo::created_at),
};

// The keys of the stored profile, which the lenient reader reads too. "resume" is optional in
// the stored form; the lenient reader always fills it.
constexpr std::tuple kUserFields{
    fields::field("user_code", &UserBaseModel::user_code),
    fields::field("nick_name", &UserBaseModel::nick_name),
    fields::field("country_code", &UserBaseModel::country_code),
    fields::field("phone", &UserBaseModel::phone),
    fields::field("point", &UserBaseModel::point),
    fields::field("duration", &UserBaseModel::duration),
    fields::field("last_login_at", &UserBaseModel::last_login_at),
    fields::field("resume", &UserBaseModel::resume),
    fields::field("type", &UserBaseModel::type),
    fields::field("foreign_time_package", &UserBaseModel::foreign_time_package),
    fields::field("total_foreign_time_package", &UserBaseModel::total_foreign_time_package),
    fields::field("total_time_package", &UserBaseModel::total_time_package),
    fields::field("time_package", &UserBaseModel::time_package),
    fields::field("sumTimePackage", &UserBaseModel::sumTimePackage),
    fields::field("sumTotalTimePackage", &UserBaseModel::sumTotalTimePackage),
};

}  // namespace

UserResumeInfo UserResumeInfo::fromJSON(const nlohmann::json& json) {
    return fields::readLenient(json, kResumeFields);
}

UserBaseModel UserBaseModel::fromJSON(const nlohmann::json& json) {
    return fields::readLenient(json, kUserFields);
}

std::string UserBaseModel::durationText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[64];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600,
                  seconds % 3600 / 60, seconds % 60);
    return text;
}

void to_json(nlohmann::json& json, const UserResumeInfo& resume) {
    json = fields::encode(resume, kResumeFields);
}

void from_json(const nlohmann::json& json, UserResumeInfo& resume) {
    resume = fields::decode(json, "résumé", kResumeFields);
}

void to_json(nlohmann::json& json, const UserBaseModel& user) {
    json = fields::encode(user, kUserFields);
}

void from_json(const nlohmann::json& json, UserBaseModel& user) {
    user = fields::decode(json, "profile", kUserFields);
}

}  // namespace pex
