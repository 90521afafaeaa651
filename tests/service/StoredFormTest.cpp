// The strict stored forms of the records, through the settings store's typed accessors and a
// real settings file.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/UserDefaults.h"
#include "service/AIInterviewModel.h"
#include "service/DefaultsKey.h"
#include "service/LanguageListModel.h"
#include "service/PXTranslationHistoryDetailsModel.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using nlohmann::json;

// Stores `value` as the settings library would: JSON text inside a data value.
void storeRawJson(const std::string& key, const json& value) {
    const std::string text = value.dump();
    UserDefaults::standard().setData(key, Bytes(text.begin(), text.end()));
}

UserBaseModel sampleUser() {
    UserBaseModel user = UserBaseModel::fromJSON({{"user_code", "U100"},
                                                  {"nick_name", "小李"},
                                                  {"country_code", "86"},
                                                  {"phone", "13800000000"},
                                                  {"point", "12"},
                                                  {"duration", 30},
                                                  {"last_login_at", "2024-03-05T07:08:09Z"},
                                                  {"type", 1},
                                                  {"time_package", 60},
                                                  {"sumTimePackage", 3725},
                                                  {"sumTotalTimePackage", 7200}});
    user.resume = UserResumeInfo{"r1", "简历.docx", "2024-01-01"};
    return user;
}

AIInterviewModel sampleSettings() {
    AIInterviewModel settings;
    settings.positioname = "产品经理";
    settings.modelType = 1;
    settings.generateAnswerType = 2;
    settings.deviceType = 1;
    settings.answerFontSize = 18;
    settings.sequenceType = 1;
    return settings;
}

// One record type under its settings key: how to store a sample and read it back.
struct StoredRecord {
    std::string name;
    std::string key;
    json sample;  // the sample's stored form
    std::function<void()> storeSample;
    std::function<bool()> readsBackSample;
    std::function<bool()> readsAbsent;
};

template <typename Record>
StoredRecord storedRecord(std::string name, std::string key, Record sample) {
    const DefaultsKey<Record> typedKey(key);
    return {name,
            key,
            json(sample),
            [=] { SettingsStore::setRecord(std::optional(sample), typedKey); },
            [=] { return SettingsStore::record(typedKey) == std::optional(sample); },
            [=] { return !SettingsStore::record(typedKey).has_value(); }};
}

std::vector<StoredRecord> storedRecords() {
    return {storedRecord("AIInterviewModel", AIInterviewModel::kSettingsKey, sampleSettings()),
            storedRecord("LanguageListModel", LanguageListModel::kRightKey,
                         LanguageListModel::defaultRight()),
            storedRecord("UserBaseModel", UserBaseModel::kSettingsKey, sampleUser())};
}

class StoredForm : public test::IsolatedTest {};

TEST_F(StoredForm, EachRecordRoundTripsAcrossAReloadFromDisk) {
    for (const auto& record : storedRecords()) {
        SCOPED_TRACE(record.name);
        record.storeSample();
        UserDefaults::standard().reload();
        EXPECT_TRUE(record.readsBackSample());
    }
}

TEST_F(StoredForm, StoredKeysAreTheFieldNames) {
    EXPECT_EQ(json(sampleSettings()),
              json::parse(R"({"positioname":"产品经理","modelType":1,"antoAnswerType":0,
                  "generateAnswerType":2,"deviceType":1,"answerFontSize":18,"sequenceType":1})"));
    EXPECT_EQ(json(LanguageListModel::defaultLeft()),
              json::parse(R"({"ID":128,"name":"中文（简体）","original_key":"zh-CN",
                  "translation_key":"zh-Hans","first_letters":"Z"})"));
    const json user = sampleUser();
    EXPECT_EQ(user.size(), 15u);
    EXPECT_EQ(user["resume"], json::parse(R"({"resume_id":"r1","resume_name":"简历.docx",
                                              "created_at":"2024-01-01"})"));
    EXPECT_EQ(user["point"], "12");
    EXPECT_EQ(user["sumTimePackage"], 3725);
}

TEST_F(StoredForm, AMissingOrMistypedRequiredKeyReadsAsNothingStored) {
    for (const auto& record : storedRecords()) {
        for (const auto& [key, value] : record.sample.items()) {
            if (key == "resume") continue;  // optional, see below
            SCOPED_TRACE(record.name + " without " + key);
            json missing = record.sample;
            missing.erase(key);
            storeRawJson(record.key, missing);
            EXPECT_TRUE(record.readsAbsent());

            SCOPED_TRACE(record.name + " with mistyped " + key);
            json mistyped = record.sample;
            mistyped[key] = value.is_string() ? json(7) : json("7");
            storeRawJson(record.key, mistyped);
            EXPECT_TRUE(record.readsAbsent());

            json nulled = record.sample;
            nulled[key] = nullptr;
            storeRawJson(record.key, nulled);
            EXPECT_TRUE(record.readsAbsent());
        }
        SCOPED_TRACE(record.name + " intact");
        storeRawJson(record.key, record.sample);
        EXPECT_TRUE(record.readsBackSample());
    }
}

TEST_F(StoredForm, NumbersMustBeWholeAndTheValueAnObject) {
    const DefaultsKey<AIInterviewModel> key(AIInterviewModel::kSettingsKey);
    json settings = sampleSettings();
    settings["answerFontSize"] = 18.0;  // a whole number written as a real still reads
    storeRawJson(key.key(), settings);
    ASSERT_TRUE(SettingsStore::record(key).has_value());
    EXPECT_EQ(SettingsStore::record(key)->answerFontSize, 18);

    for (const json& bad : {json(18.5), json(1e300), json(true)}) {
        settings["answerFontSize"] = bad;
        storeRawJson(key.key(), settings);
        EXPECT_FALSE(SettingsStore::record(key).has_value()) << bad.dump();
    }
    for (const json& notObject : {json::array({sampleSettings()}), json("text"), json(3)}) {
        storeRawJson(key.key(), notObject);
        EXPECT_FALSE(SettingsStore::record(key).has_value()) << notObject.dump();
    }
}

TEST_F(StoredForm, ProfileResumeIsOptionalButCompleteWhenPresent) {
    const DefaultsKey<UserBaseModel> key(UserBaseModel::kSettingsKey);
    json user = sampleUser();

    user.erase("resume");
    storeRawJson(key.key(), user);
    ASSERT_TRUE(SettingsStore::record(key).has_value());
    EXPECT_FALSE(SettingsStore::record(key)->resume.has_value());

    user["resume"] = nullptr;
    storeRawJson(key.key(), user);
    ASSERT_TRUE(SettingsStore::record(key).has_value());
    EXPECT_FALSE(SettingsStore::record(key)->resume.has_value());

    user["resume"] = {{"resume_id", "r1"}, {"created_at", "x"}};
    storeRawJson(key.key(), user);
    EXPECT_FALSE(SettingsStore::record(key).has_value());

    // A profile without a résumé is written without the key.
    UserBaseModel noResume = sampleUser();
    noResume.resume.reset();
    EXPECT_FALSE(json(noResume).contains("resume"));
}

TEST_F(StoredForm, LanguageDefaultsFillOnlyKeysWithoutARecord) {
    const DefaultsKey<LanguageListModel> china(LanguageListModel::kChinaKey);
    const DefaultsKey<LanguageListModel> left(LanguageListModel::kLeftKey);
    const DefaultsKey<LanguageListModel> right(LanguageListModel::kRightKey);

    LanguageListModel japanese = LanguageListModel::fromJSON(
        {{"ID", 140}, {"name", "日语"}, {"original_key", "ja-JP"}, {"first_letters", "R"}});
    SettingsStore::setRecord(std::optional(japanese), right);
    json broken = LanguageListModel::defaultLeft();
    broken.erase("first_letters");
    storeRawJson(left.key(), broken);

    LanguageListModel::storeDefaultsWhereMissing();
    EXPECT_EQ(SettingsStore::record(china), LanguageListModel::defaultChina());
    EXPECT_EQ(SettingsStore::record(left), LanguageListModel::defaultLeft());
    EXPECT_EQ(SettingsStore::record(right), japanese);
}

TEST(TranscriptLineForm, NewLineHasItsDefaultsAndEncodesOnlyPresentOptionals) {
    const PXTranslationHistoryDetailsModel line;
    EXPECT_EQ(line.time.size(), 19u);  // "yyyy-MM-dd HH:mm:ss"
    EXPECT_EQ(line.time[4], '-');
    EXPECT_EQ(line.time[10], ' ');
    EXPECT_EQ(line.end, std::optional<std::int64_t>(0));
    EXPECT_FALSE(line.start.has_value());
    EXPECT_EQ(line.images, std::optional(std::vector<std::string>{}));
    EXPECT_EQ(line.font, 14);
    EXPECT_TRUE(line.isMine);
    EXPECT_TRUE(line.isOne);
    EXPECT_EQ(line.sourceColor, "#f9f9f9");

    const json encoded = line;
    for (const char* absent : {"tagArea", "start", "segId", "isShowIndex"}) {
        EXPECT_FALSE(encoded.contains(absent)) << absent;
    }
    EXPECT_EQ(encoded["end"], 0);
    EXPECT_EQ(encoded["images"], json::array());
    EXPECT_EQ(encoded["commentList"], json::array());
    EXPECT_EQ(encoded.size(), 18u);
}

TEST(TranscriptLineForm, DecodingIsStrictAndTakesNoDefaults) {
    PXTranslationHistoryDetailsModel line;
    line.sourceText = "你好";
    line.start = 3;
    line.segId = 9;
    line.isShowIndex = "1";
    line.streamID = 4;
    line.commentList.push_back({"好", "10:00", 5, 1, std::nullopt});
    const json encoded = line;
    EXPECT_EQ(encoded.get<PXTranslationHistoryDetailsModel>(), line);

    json withoutEnd = encoded;
    withoutEnd.erase("end");
    EXPECT_FALSE(withoutEnd.get<PXTranslationHistoryDetailsModel>().end.has_value());
    json nullImages = encoded;
    nullImages["images"] = nullptr;
    EXPECT_FALSE(nullImages.get<PXTranslationHistoryDetailsModel>().images.has_value());

    const std::vector<std::pair<const char*, json>> failing = {
        {"isOne", json()},                                       // missing required key
        {"font", json("14")},                                    // mistyped required key
        {"start", json("3")},                                    // mistyped optional key
        {"images", json::array({1})},                            // an image that is not text
        {"commentList", json::array({{{"commentText", "x"}}})},  // incomplete comment
        {"commentList", json::object()},
    };
    for (const auto& [key, value] : failing) {
        json changed = encoded;
        if (value.is_null()) {
            changed.erase(key);
        } else {
            changed[key] = value;
        }
        SCOPED_TRACE(changed.dump());
        EXPECT_THROW((void)changed.get<PXTranslationHistoryDetailsModel>(), json::exception);
    }
}

TEST(TranscriptLineForm, CommentOptionalsMayBeAbsent) {
    const TranslationHistoryDetailsCommnetModel comment{"c", "t", std::nullopt, 2, 7};
    const json encoded = comment;
    EXPECT_FALSE(encoded.contains("time"));
    EXPECT_EQ(encoded["cellIndex"], 7);
    EXPECT_EQ(encoded.get<TranslationHistoryDetailsCommnetModel>(), comment);
    json noIndex = encoded;
    noIndex.erase("index");
    EXPECT_THROW((void)noIndex.get<TranslationHistoryDetailsCommnetModel>(), json::exception);
}

}  // namespace
}  // namespace pex
