#include "service/UserBaseModel.h"

#include <cinttypes>
#include <cstdio>

#include "service/LenientJson.h"
#include "service/StrictJson.h"

namespace pex {

UserResumeInfo UserResumeInfo::fromJSON(const nlohmann::json& json) {
    UserResumeInfo resume;
    resume.resume_id = lenient::text(json, "resume_id");
    resume.resume_name = lenient::text(json, "resume_name");
    resume.created_at = lenient::text(json, "created_at");
    return resume;
}

UserBaseModel UserBaseModel::fromJSON(const nlohmann::json& json) {
    UserBaseModel user;
    user.user_code = lenient::text(json, "user_code");
    user.nick_name = lenient::text(json, "nick_name");
    user.country_code = lenient::text(json, "country_code");
    user.phone = lenient::text(json, "phone");
    user.last_login_at = lenient::text(json, "last_login_at");
    user.duration = lenient::integer(json, "duration");
    user.point = lenient::text(json, "point");
    user.resume = UserResumeInfo::fromJSON(lenient::field(json, "resume"));
    user.type = lenient::integer(json, "type");
    user.foreign_time_package = lenient::integer(json, "foreign_time_package");
    user.total_foreign_time_package = lenient::integer(json, "total_foreign_time_package");
    user.total_time_package = lenient::integer(json, "total_time_package");
    user.time_package = lenient::integer(json, "time_package");
    user.sumTimePackage = lenient::integer(json, "sumTimePackage");
    user.sumTotalTimePackage = lenient::integer(json, "sumTotalTimePackage");
    return user;
}

std::string UserBaseModel::durationText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[64];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600,
                  seconds % 3600 / 60, seconds % 60);
    return text;
}

void to_json(nlohmann::json& json, const UserResumeInfo& resume) {
    json = {{"resume_id", resume.resume_id},
            {"resume_name", resume.resume_name},
            {"created_at", resume.created_at}};
}

void from_json(const nlohmann::json& json, UserResumeInfo& resume) {
    strict::requireObject(json, "résumé");
    UserResumeInfo decoded;
    decoded.resume_id = strict::text(json, "resume_id");
    decoded.resume_name = strict::text(json, "resume_name");
    decoded.created_at = strict::text(json, "created_at");
    resume = std::move(decoded);
}

void to_json(nlohmann::json& json, const UserBaseModel& user) {
    json = nlohmann::json::object();
    json["user_code"] = user.user_code;
    json["nick_name"] = user.nick_name;
    json["country_code"] = user.country_code;
    json["phone"] = user.phone;
    json["point"] = user.point;
    json["duration"] = user.duration;
    json["last_login_at"] = user.last_login_at;
    strict::putOptional(json, "resume", user.resume);
    json["type"] = user.type;
    json["foreign_time_package"] = user.foreign_time_package;
    json["total_foreign_time_package"] = user.total_foreign_time_package;
    json["total_time_package"] = user.total_time_package;
    json["time_package"] = user.time_package;
    json["sumTimePackage"] = user.sumTimePackage;
    json["sumTotalTimePackage"] = user.sumTotalTimePackage;
}

void from_json(const nlohmann::json& json, UserBaseModel& user) {
    strict::requireObject(json, "profile");
    UserBaseModel decoded;
    decoded.user_code = strict::text(json, "user_code");
    decoded.nick_name = strict::text(json, "nick_name");
    decoded.country_code = strict::text(json, "country_code");
    decoded.phone = strict::text(json, "phone");
    decoded.point = strict::text(json, "point");
    decoded.duration = strict::integer(json, "duration");
    decoded.last_login_at = strict::text(json, "last_login_at");
    if (const auto* resume = strict::present(json, "resume")) {
        decoded.resume = resume->get<UserResumeInfo>();
    }
    decoded.type = strict::integer(json, "type");
    decoded.foreign_time_package = strict::integer(json, "foreign_time_package");
    decoded.total_foreign_time_package = strict::integer(json, "total_foreign_time_package");
    decoded.total_time_package = strict::integer(json, "total_time_package");
    decoded.time_package = strict::integer(json, "time_package");
    decoded.sumTimePackage = strict::integer(json, "sumTimePackage");
    decoded.sumTotalTimePackage = strict::integer(json, "sumTotalTimePackage");
    user = std::move(decoded);
}

}  // namespace pex
