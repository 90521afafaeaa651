#include "service/SettingsStore.h"

#include <string>

#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {
using nlohmann::json;

// Small records of the same shape as the stored models: required fields decoded strictly,
// one optional field.
struct Profile {
    std::string phone;
    std::int64_t remainingSeconds = 0;
    std::optional<std::string> avatar;
    bool operator==(const Profile&) const = default;
};

void to_json(json& out, const Profile& profile) {
    out = {{"phone", profile.phone}, {"remain_time", profile.remainingSeconds}};
    if (profile.avatar) out["avatar"] = *profile.avatar;
}

void from_json(const json& in, Profile& profile) {
    profile.phone = in.at("phone").get<std::string>();
    profile.remainingSeconds = in.at("remain_time").get<std::int64_t>();
    if (auto avatar = in.find("avatar"); avatar != in.end() && !avatar->is_null())
        profile.avatar = avatar->get<std::string>();
}

struct Language {
    std::int64_t ID = 0;
    std::string name;
    bool operator==(const Language&) const = default;
};

void to_json(json& out, const Language& language) {
    out = {{"ID", language.ID}, {"name", language.name}};
}

void from_json(const json& in, Language& language) {
    language.ID = in.at("ID").get<std::int64_t>();
    language.name = in.at("name").get<std::string>();
}

const DefaultsKey<Profile> kUserInfo(SettingsKeys::userInfo);
const DefaultsKey<Language> kLeftLanguage(SettingsKeys::aiLangLeftModel);

class SettingsStoreTest : public test::IsolatedTest {
  protected:
    UserDefaults& store() { return UserDefaults::standard(); }
    // A fresh reader of the same file, so what it sees came from disk.
    UserDefaults fromDisk() { return UserDefaults(store().file()); }
};

TEST_F(SettingsStoreTest, RecordsAreStoredAsJsonDataAndReadBackAfterAReload) {
    const Profile profile{"13800000000", 3600, "https://img/a.png"};
    const Language language{128, "中文（简体）"};
    SettingsStore::setRecord<Profile>(profile, kUserInfo);
    SettingsStore::setRecord<Language>(language, kLeftLanguage);

    auto bytes = fromDisk().data(SettingsKeys::userInfo);
    ASSERT_TRUE(bytes.has_value()) << "a record is stored as data";
    EXPECT_EQ(
        json::parse(bytes->begin(), bytes->end()),
        json({{"phone", "13800000000"}, {"remain_time", 3600}, {"avatar", "https://img/a.png"}}));

    store().reload();
    EXPECT_EQ(SettingsStore::record(kUserInfo), profile);
    EXPECT_EQ(SettingsStore::record(kLeftLanguage), language);
    EXPECT_EQ(SettingsStore::record(DefaultsKey<Language>(SettingsKeys::aiLangRightModel)),
              std::nullopt);
}

TEST_F(SettingsStoreTest, WritingAnAbsentRecordRemovesTheKey) {
    const DefaultsKey<Language> key(SettingsKeys::aiInterviewSetModel);
    SettingsStore::setRecord<Language>(Language{1, "x"}, key);
    ASSERT_TRUE(store().contains(SettingsKeys::aiInterviewSetModel));

    SettingsStore::setRecord<Language>(std::nullopt, key);
    EXPECT_FALSE(store().contains(SettingsKeys::aiInterviewSetModel));
    EXPECT_FALSE(fromDisk().contains(SettingsKeys::aiInterviewSetModel));
    EXPECT_EQ(SettingsStore::record(key), std::nullopt);
}

TEST_F(SettingsStoreTest, AnythingButDecodableDataReadsAsAbsent) {
    const std::pair<const char*, json> stored[] = {
        {"text written by hand", "{\"phone\":\"1\",\"remain_time\":5}"},
        {"a dictionary, not data", {{"phone", "1"}, {"remain_time", 5}}},
        {"a number", 7},
        {"data that is not JSON", UserDefaults::dataValue({'{', 'x'})},
        {"JSON missing a field", UserDefaults::dataValue({'{', '"', 'p', 'h', 'o', 'n', 'e', '"',
                                                          ':', '"', '1', '"', '}'})},
        {"JSON of another type", UserDefaults::dataValue({'[', '1', ']'})},
        {"empty data", UserDefaults::dataValue({})},
    };
    for (const auto& [what, value] : stored) {
        SettingsStore::set(SettingsKeys::userInfo, value);
        EXPECT_EQ(SettingsStore::record(kUserInfo), std::nullopt) << what;
    }
    const std::string wrongType = R"({"phone":1,"remain_time":5})";
    SettingsStore::set(SettingsKeys::userInfo,
                       UserDefaults::dataValue(Bytes(wrongType.begin(), wrongType.end())));
    EXPECT_EQ(SettingsStore::record(kUserInfo), std::nullopt) << "a field of the wrong type";
}

TEST_F(SettingsStoreTest, AnEmptyTokenIsAStoredToken) {
    EXPECT_EQ(SettingsStore::string(SettingsKeys::loginToken), std::nullopt);
    SettingsStore::set(SettingsKeys::loginToken, "");
    EXPECT_EQ(SettingsStore::string(SettingsKeys::loginToken), "");
    EXPECT_EQ(fromDisk().string(SettingsKeys::loginToken), "");
}

class SettingsStoreSignedInTest : public SettingsStoreTest {
  protected:
    void SetUp() override {
        SettingsStore::set(SettingsKeys::loginToken, "token-1");
        SettingsStore::set(SettingsKeys::isAutoLogin, true);
        SettingsStore::setRecord<Profile>(Profile{"139", 60, std::nullopt}, kUserInfo);
        SettingsStore::set(SettingsKeys::fuwuqiKey, "http://127.0.0.1:1");
    }
};

TEST_F(SettingsStoreSignedInTest, ARejectedTokenKeepsAutoLogin) {
    SettingsStore::clearLogin(SettingsStore::AutoLogin::keep);
    UserDefaults reader = fromDisk();
    for (UserDefaults* view : {&store(), &reader}) {
        EXPECT_FALSE(view->contains(SettingsKeys::loginToken));
        EXPECT_FALSE(view->contains(SettingsKeys::userInfo));
        EXPECT_TRUE(view->boolean(SettingsKeys::isAutoLogin));
        EXPECT_TRUE(view->contains(SettingsKeys::fuwuqiKey));
    }
}

TEST_F(SettingsStoreSignedInTest, ALogoutForgetsAllThree) {
    SettingsStore::clearLogin(SettingsStore::AutoLogin::forget);
    UserDefaults reader = fromDisk();
    for (const char* key :
         {SettingsKeys::loginToken, SettingsKeys::isAutoLogin, SettingsKeys::userInfo}) {
        EXPECT_FALSE(store().contains(key)) << key;
        EXPECT_FALSE(reader.contains(key)) << key;
    }
    EXPECT_FALSE(SettingsStore::boolean(SettingsKeys::isAutoLogin));
    EXPECT_EQ(SettingsStore::record(kUserInfo), std::nullopt);
}

TEST_F(SettingsStoreTest, ResettingUserInfoRemovesWhateverItHeld) {
    for (const json& held : {json("text"), json(12), UserDefaults::dataValue({1, 2})}) {
        SettingsStore::set(SettingsKeys::userInfo, held);
        SettingsStore::resetUserInfo();
        EXPECT_FALSE(store().contains(SettingsKeys::userInfo)) << held.dump();
    }
    SettingsStore::resetUserInfo();  // nothing stored: still fine
    EXPECT_FALSE(fromDisk().contains(SettingsKeys::userInfo));
}

TEST_F(SettingsStoreTest, TheServiceLineRowIsAPlainNumber) {
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), std::nullopt);
    SettingsStore::setHostChannelSelectType(3);
    EXPECT_EQ(fromDisk().object(SettingsKeys::hostChannelSeletctType), json(3));
    store().reload();
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), 3);
    SettingsStore::setHostChannelSelectType(0);
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), 0);

    SettingsStore::set(SettingsKeys::hostChannelSeletctType, "2");
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), std::nullopt) << "text is not a row";
    SettingsStore::set(SettingsKeys::hostChannelSeletctType, std::int64_t{1} << 40);
    EXPECT_EQ(SettingsStore::hostChannelSelectType(), std::nullopt) << "does not fit an int";

    SettingsStore::setHostChannelSelectType(std::nullopt);
    EXPECT_FALSE(store().contains(SettingsKeys::hostChannelSeletctType));
}

}  // namespace
}  // namespace pex
