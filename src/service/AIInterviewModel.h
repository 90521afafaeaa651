#pragma once
// The user's interview settings, stored whole under "aiInterviewSetModel" after every change.
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/SettingsKeys.h"

namespace pex {

struct AIInterviewModel {
    static constexpr const char* kSettingsKey = SettingsKeys::aiInterviewSetModel;

    std::string positioname;              // the position applied for (key spelled so)
    std::int64_t modelType = 0;           // 0 translate, 1 recognition only
    std::int64_t antoAnswerType = 0;      // 0 automatic answers, 1 on request (key spelled so)
    std::int64_t generateAnswerType = 0;  // answer style, see generateAnswerTypeFor
    std::int64_t deviceType = 0;          // 0 microphone, 1 system sound
    std::int64_t answerFontSize = 14;     // points
    std::int64_t sequenceType = 0;        // 0 prompts below, 1 prompts above

    // Lenient reader of a service or page JSON value: missing or null keys give "" or 0 (so no
    // "answerFontSize" gives 0, not 14), and "sequenceType" is never read. Cannot fail.
    static AIInterviewModel fromJSON(const nlohmann::json& json);
    // The record the interview setup page starts from: font size 14, everything else empty/0.
    static AIInterviewModel defaultRecord();

    // The value each menu choice sets, matched by its exact text.
    static std::int64_t modelTypeFor(std::string_view option);       // "是" → 0, else 1
    static std::int64_t antoAnswerTypeFor(std::string_view option);  // "自动生成" → 0, else 1
    static std::int64_t generateAnswerTypeFor(std::string_view option);  // the three styles, else 0
    static std::int64_t deviceTypeFor(std::string_view option);  // "麦克风声音" → 0, else 1
    static std::int64_t answerFontSizeFor(std::string_view option);  // its number, else 16
    static std::int64_t sequenceTypeFor(std::string_view option);    // "提示在下" → 0, else 1

    bool operator==(const AIInterviewModel&) const = default;
};

// Stored form: all seven keys, "positioname" a string and the rest numbers. Decoding is strict
// and throws on a missing or mistyped key, so such a stored value reads as nothing stored.
void to_json(nlohmann::json& json, const AIInterviewModel& model);
void from_json(const nlohmann::json& json, AIInterviewModel& model);

}  // namespace pex
