// The lenient `fromJSON` readers of the models: every text and integer field against the same
// table of awkward values, plus the readers' own rules.
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "service/AIInterviewModel.h"
#include "service/LanguageListModel.h"
#include "service/UserBaseModel.h"

namespace pex {
namespace {

using nlohmann::json;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

template <typename Value>
struct Field {
    const char* key;
    std::function<Value(const json&)> read;
};

std::vector<Field<std::string>> textFields() {
    return {
        {"positioname", [](const json& j) { return AIInterviewModel::fromJSON(j).positioname; }},
        {"name", [](const json& j) { return LanguageListModel::fromJSON(j).name; }},
        {"original_key", [](const json& j) { return LanguageListModel::fromJSON(j).original_key; }},
        {"translation_key",
         [](const json& j) { return LanguageListModel::fromJSON(j).translation_key; }},
        {"first_letters",
         [](const json& j) { return LanguageListModel::fromJSON(j).first_letters; }},
        {"user_code", [](const json& j) { return UserBaseModel::fromJSON(j).user_code; }},
        {"nick_name", [](const json& j) { return UserBaseModel::fromJSON(j).nick_name; }},
        {"country_code", [](const json& j) { return UserBaseModel::fromJSON(j).country_code; }},
        {"phone", [](const json& j) { return UserBaseModel::fromJSON(j).phone; }},
        {"point", [](const json& j) { return UserBaseModel::fromJSON(j).point; }},
        {"last_login_at", [](const json& j) { return UserBaseModel::fromJSON(j).last_login_at; }},
        {"resume_id", [](const json& j) { return UserResumeInfo::fromJSON(j).resume_id; }},
        {"resume_name", [](const json& j) { return UserResumeInfo::fromJSON(j).resume_name; }},
        {"created_at", [](const json& j) { return UserResumeInfo::fromJSON(j).created_at; }},
    };
}

std::vector<Field<std::int64_t>> integerFields() {
    return {
        {"modelType", [](const json& j) { return AIInterviewModel::fromJSON(j).modelType; }},
        {"antoAnswerType",
         [](const json& j) { return AIInterviewModel::fromJSON(j).antoAnswerType; }},
        {"generateAnswerType",
         [](const json& j) { return AIInterviewModel::fromJSON(j).generateAnswerType; }},
        {"deviceType", [](const json& j) { return AIInterviewModel::fromJSON(j).deviceType; }},
        {"answerFontSize",
         [](const json& j) { return AIInterviewModel::fromJSON(j).answerFontSize; }},
        {"ID", [](const json& j) { return LanguageListModel::fromJSON(j).ID; }},
        {"duration", [](const json& j) { return UserBaseModel::fromJSON(j).duration; }},
        {"type", [](const json& j) { return UserBaseModel::fromJSON(j).type; }},
        {"foreign_time_package",
         [](const json& j) { return UserBaseModel::fromJSON(j).foreign_time_package; }},
        {"total_foreign_time_package",
         [](const json& j) { return UserBaseModel::fromJSON(j).total_foreign_time_package; }},
        {"total_time_package",
         [](const json& j) { return UserBaseModel::fromJSON(j).total_time_package; }},
        {"time_package", [](const json& j) { return UserBaseModel::fromJSON(j).time_package; }},
        {"sumTimePackage", [](const json& j) { return UserBaseModel::fromJSON(j).sumTimePackage; }},
        {"sumTotalTimePackage",
         [](const json& j) { return UserBaseModel::fromJSON(j).sumTotalTimePackage; }},
    };
}

// An object holding `value` under `key` among unrelated keys; a discarded value leaves the
// key out.
json objectWith(const char* key, const json& value) {
    json object = {{"unrelated", "x"}, {"other", 5}};
    if (!value.is_discarded()) object[key] = value;
    return object;
}

const json kMissing = json(json::value_t::discarded);

// Reads each of `fields` from an object holding each case's value under the field's key.
template <typename Value>
void expectEveryFieldReads(const std::vector<Field<Value>>& fields,
                           const std::vector<std::pair<json, Value>>& cases) {
    for (const auto& field : fields) {
        for (const auto& [value, expected] : cases) {
            SCOPED_TRACE(std::string(field.key) + " = " +
                         (value.is_discarded() ? "<missing>" : value.dump()));
            EXPECT_EQ(field.read(objectWith(field.key, value)), expected);
        }
    }
}

TEST(LenientReaders, TextFieldsReadEveryKindOfValue) {
    const std::vector<std::pair<json, std::string>> cases = {
        {kMissing, ""},
        {nullptr, ""},
        {"中文 text", "中文 text"},
        {"", ""},
        {120, "120"},
        {-7, "-7"},
        {12.5, "12.5"},
        {120.0, "120"},
        {18446744073709551615u, "18446744073709551615"},
        {true, "true"},
        {false, "false"},
        {json::object({{"a", 1}}), ""},
        {json::array({1, 2}), ""},
    };
    expectEveryFieldReads(textFields(), cases);
}

TEST(LenientReaders, IntegerFieldsReadEveryKindOfValueAndClamp) {
    const std::vector<std::pair<json, std::int64_t>> cases = {
        {kMissing, 0},
        {nullptr, 0},
        {42, 42},
        {-42, -42},
        {12.9, 12},
        {-12.9, -12},
        {"3600", 3600},
        {" 42 ", 42},
        {"12.9", 12},
        {"-3", -3},
        {"1e3", 1000},
        {"abc", 0},
        {"12abc", 0},
        {"", 0},
        {"+-5", 0},
        {"inf", 0},
        {"nan", 0},
        {"0x10", 0},
        {true, 1},
        {false, 0},
        {json::object(), 0},
        {json::array({7}), 0},
        // Out of range: clamped rather than wrapped or undefined.
        {1e300, kMax},
        {-1e300, kMin},
        {9.3e18, kMax},
        {18446744073709551615u, kMax},
        {"99999999999999999999", kMax},
        {"-99999999999999999999", kMin},
        {"1e400", kMax},
        {"-1e400", kMin},
        {"1e-400", 0},
        {std::nan(""), 0},
        {std::numeric_limits<double>::infinity(), kMax},
    };
    expectEveryFieldReads(integerFields(), cases);
}

TEST(LenientReaders, ValuesThatAreNotObjectsGiveEmptyRecords) {
    for (const json& value : {json(nullptr), json("text"), json(5), json::array({1})}) {
        SCOPED_TRACE(value.dump());
        EXPECT_EQ(AIInterviewModel::fromJSON(value), AIInterviewModel::fromJSON(json::object()));
        EXPECT_EQ(LanguageListModel::fromJSON(value), LanguageListModel{});
        EXPECT_EQ(UserResumeInfo::fromJSON(value), UserResumeInfo{});
    }
}

TEST(AIInterviewModelReader, NeverReadsSequenceTypeAndGivesZeroFontSizeWhenMissing) {
    const auto model = AIInterviewModel::fromJSON({{"positioname", "工程师"}, {"sequenceType", 1}});
    EXPECT_EQ(model.positioname, "工程师");
    EXPECT_EQ(model.sequenceType, 0);
    EXPECT_EQ(model.answerFontSize, 0);  // not the 14 of a new record
    EXPECT_EQ(AIInterviewModel{}.answerFontSize, 14);
}

TEST(AIInterviewModelReader, DefaultRecordIsFontSize14AndEverythingElseEmpty) {
    AIInterviewModel expected;
    expected.answerFontSize = 14;
    EXPECT_EQ(AIInterviewModel::defaultRecord(), expected);
    EXPECT_EQ(AIInterviewModel::defaultRecord().positioname, "");
    EXPECT_EQ(AIInterviewModel::defaultRecord().modelType, 0);
}

TEST(AIInterviewModelReader, MenuChoicesSetTheirValues) {
    using Rule = std::int64_t (*)(std::string_view);
    const std::vector<std::tuple<Rule, const char*, std::int64_t>> cases = {
        {&AIInterviewModel::modelTypeFor, "是", 0},
        {&AIInterviewModel::modelTypeFor, "否", 1},
        {&AIInterviewModel::antoAnswerTypeFor, "自动生成", 0},
        {&AIInterviewModel::antoAnswerTypeFor, "点击生成", 1},
        {&AIInterviewModel::generateAnswerTypeFor, "口语化短句(易读 地道)", 0},
        {&AIInterviewModel::generateAnswerTypeFor, "正式长难句(专业 深度)", 1},
        {&AIInterviewModel::generateAnswerTypeFor, "关键词模式(推荐 自然)", 2},
        {&AIInterviewModel::generateAnswerTypeFor, "正式长难句", 0},
        {&AIInterviewModel::deviceTypeFor, "麦克风声音", 0},
        {&AIInterviewModel::deviceTypeFor, "系统声音", 1},
        {&AIInterviewModel::answerFontSizeFor, "18", 18},
        {&AIInterviewModel::answerFontSizeFor, "大", 16},
        {&AIInterviewModel::answerFontSizeFor, "18px", 16},
        {&AIInterviewModel::answerFontSizeFor, "", 16},
        {&AIInterviewModel::answerFontSizeFor, "99999999999999999999", 16},
        {&AIInterviewModel::sequenceTypeFor, "提示在下", 0},
        {&AIInterviewModel::sequenceTypeFor, "提示在上", 1},
    };
    for (const auto& [rule, option, expected] : cases) {
        SCOPED_TRACE(option);
        EXPECT_EQ(rule(option), expected);
    }
}

TEST(LanguageListModelReader, ListKeepsReplyOrderAndElementsWithoutID) {
    const json data = json::array({{{"ID", 135}, {"name", "英语（美国）"}},
                                   {{"name", "日语"}, {"original_key", "ja-JP"}},
                                   7});
    const auto list = LanguageListModel::listFromData(data);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].ID, 135);
    EXPECT_EQ(list[1].ID, 0);
    EXPECT_EQ(list[1].original_key, "ja-JP");
    EXPECT_EQ(list[2], LanguageListModel{});

    for (const json& notAList : {json(nullptr), json::object({{"ID", 1}}), json("[]")}) {
        EXPECT_TRUE(LanguageListModel::listFromData(notAList).empty()) << notAList.dump();
    }
}

TEST(LanguageListModelReader, DefaultsOfTheThreeChoices) {
    const auto left = LanguageListModel::defaultLeft();
    EXPECT_EQ(left.ID, 128);
    EXPECT_EQ(left.name, "中文（简体）");
    EXPECT_EQ(left.original_key, "zh-CN");
    EXPECT_EQ(left.translation_key, "zh-Hans");
    EXPECT_EQ(left.first_letters, "Z");
    const auto right = LanguageListModel::defaultRight();
    EXPECT_EQ(right.ID, 135);
    EXPECT_EQ(right.name, "英语（美国）");
    EXPECT_EQ(right.original_key, "en-US");
    EXPECT_EQ(right.translation_key, "en");
    EXPECT_EQ(right.first_letters, "Y");
    EXPECT_EQ(LanguageListModel::defaultChina(), left);
}

TEST(UserBaseModelReader, AlwaysHasAResumeAndReadsMixedValues) {
    const auto user = UserBaseModel::fromJSON(
        {{"user_code", "U1"}, {"point", 120}, {"sumTimePackage", "3600"}, {"type", 2}});
    EXPECT_EQ(user.point, "120");
    EXPECT_EQ(user.sumTimePackage, 3600);
    ASSERT_TRUE(user.resume.has_value());
    EXPECT_EQ(*user.resume, UserResumeInfo{});
    EXPECT_TRUE(user.resume->resume_name.empty());

    const auto withResume = UserBaseModel::fromJSON(
        {{"resume", {{"resume_id", 9}, {"resume_name", "cv.docx"}, {"created_at", "2024"}}}});
    ASSERT_TRUE(withResume.resume.has_value());
    EXPECT_EQ(withResume.resume->resume_id, "9");
    EXPECT_EQ(withResume.resume->resume_name, "cv.docx");

    EXPECT_TRUE(UserBaseModel::fromJSON({{"resume", "not an object"}}).resume.has_value());
}

TEST(UserBaseModelReader, RemainingTimeTextAndWhetherTimeIsLeft) {
    const std::vector<std::tuple<std::int64_t, std::string, bool>> cases = {
        {3725, "01:02:05", true},
        {1, "00:00:01", true},
        {0, "00:00:00", false},
        {-5, "00:00:00", false},
        {kMin, "00:00:00", false},
        {360000, "100:00:00", true},
        {kMax, "2562047788015215:30:07", true},
    };
    for (const auto& [seconds, text, timeLeft] : cases) {
        SCOPED_TRACE(seconds);
        UserBaseModel user;
        user.sumTimePackage = seconds;
        EXPECT_EQ(user.remainingTimeText(), text);
        EXPECT_EQ(user.hasTimeLeft(), timeLeft);
    }
}

}  // namespace
}  // namespace pex
