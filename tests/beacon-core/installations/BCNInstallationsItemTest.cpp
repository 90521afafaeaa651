#include "beacon-core/installations/BCNInstallationsItem.h"

#include <chrono>
#include <set>

#include <gtest/gtest.h>

namespace pex {
namespace {

using namespace std::chrono_literals;
using Status = BCNInstallationsRegistrationStatus;

BCNInstallationsItem unregistered() {
    BCNInstallationsItem item("1:123:ios:abc", "__BCNAPP_DEFAULT");
    item.beaconInstallationID = "dFidFidFidFidFidFidFid";
    item.registrationStatus = Status::Unregistered;
    return item;
}

std::string reasonOf(const BCNInstallationsItem& item) {
    ErrorRef error;
    EXPECT_FALSE(item.isValid(&error));
    return error ? error->failureReason().value_or("") : "";
}

const BCNDate kReceived = BCNDate(std::chrono::seconds(1'700'000'000));

TEST(BCNInstallationsItemTest, GeneratedFIDsAreTwentyTwoURLSafeCharactersStartingCToF) {
    std::set<std::string> seen;
    std::set<char> firsts;
    for (int i = 0; i < 10000; ++i) {
        const std::string fid = BCNInstallationsItem::generateFID();
        ASSERT_EQ(fid.size(), 22u) << fid;
        ASSERT_EQ(fid.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                        "0123456789-_"),
                  std::string::npos)
            << fid;
        ASSERT_NE(std::string("cdef").find(fid[0]), std::string::npos) << fid;
        firsts.insert(fid[0]);
        seen.insert(fid);
    }
    EXPECT_EQ(seen.size(), 10000u);
    EXPECT_EQ(firsts.size(), 4u);  // every nibble value shows up in 10,000 draws
}

TEST(BCNInstallationsItemTest, URLSafeBase64KeepsPaddingAndSwapsTheTwoSymbols) {
    EXPECT_EQ(BCNInstallationsItem::base64URLEncodedStringWithData("\xfb\xff"), "-_8=");
    EXPECT_EQ(BCNInstallationsItem::base64URLEncodedStringWithData(""), "");
}

TEST(BCNInstallationsItemTest, TheIdentifierIsAppIDThenAppName) {
    EXPECT_EQ(BCNInstallationsItem::identifierWithAppID("1:123:ios:abc", "__BCNAPP_DEFAULT"),
              "1:123:ios:abc__BCNAPP_DEFAULT");
    EXPECT_EQ(unregistered().identifier(), "1:123:ios:abc__BCNAPP_DEFAULT");
}

TEST(BCNInstallationsItemTest, ValidationListsEveryProblemInOrder) {
    EXPECT_TRUE(unregistered().isValid());

    auto unknown = unregistered();
    unknown.registrationStatus = Status::Unknown;
    EXPECT_TRUE(reasonOf(unknown).ends_with("invalid `registrationStatus`"));

    BCNInstallationsItem empty("", "");
    EXPECT_EQ(reasonOf(empty),
              "BCNInstallationsItem validation errors: `appID` must not be empty, "
              "`beaconAppName` must not be empty, `beaconInstallationID` must not be empty, "
              "invalid `registrationStatus`");

    auto registered = unregistered();
    registered.registrationStatus = Status::Registered;
    registered.refreshToken = "";
    EXPECT_EQ(reasonOf(registered),
              "BCNInstallationsItem validation errors: registered installation must have "
              "non-empty `refreshToken`, registered installation must have non-empty "
              "`authToken.token`, registered installation must have non-empty "
              "`authToken.expirationDate`");
    ErrorRef error;
    registered.isValid(&error);
    EXPECT_EQ(error->domain(), "com.beacon.installations");
    EXPECT_EQ(error->code(), 0);

    registered.refreshToken = "refresh";
    registered.authToken.setToken("token");
    registered.authToken.setExpirationDate(kReceived);
    EXPECT_TRUE(registered.isValid());
}

TEST(BCNInstallationsItemTest, TokenLifetimesMustBeSecondsWithTheUnit) {
    struct Case {
        nlohmann::json dict;
        std::optional<std::chrono::milliseconds> lifetime;  // none: fails naming the field
        std::string field;
    } cases[] = {
        {{{"token", "t"}, {"expiresIn", "3600s"}}, 3600s, ""},
        {{{"token", "t"}, {"expiresIn", "604800s"}}, 604800s, ""},
        {{{"token", "t"}, {"expiresIn", "1.5s"}}, 1500ms, ""},
        {{{"token", "t"}, {"expiresIn", "0s"}}, 0s, ""},
        {{{"token", "t"}, {"expiresIn", 3600}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", "3600"}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", "soon"}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", "60m"}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", "-5s"}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", " 5s"}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", ""}}, std::nullopt, "authToken.expiresIn"},
        // Lifetimes no date can hold: a reply is refused, never turned into a wrong date.
        {{{"token", "t"}, {"expiresIn", "100000000000000000000000s"}},
         std::nullopt,
         "authToken.expiresIn"},
        {{{"token", "t"}, {"expiresIn", std::string(400, '9') + "s"}},
         std::nullopt,
         "authToken.expiresIn"},
        {{{"token", "t"}}, std::nullopt, "authToken.expiresIn"},
        {{{"token", ""}, {"expiresIn", "5s"}}, std::nullopt, "authToken.token"},
        {{{"token", 7}, {"expiresIn", "5s"}}, std::nullopt, "authToken.token"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dict.dump());
        ErrorRef error;
        auto token = BCNInstallationsItem::authTokenWithJSONDict(c.dict, kReceived, &error);
        if (c.lifetime) {
            ASSERT_TRUE(token);
            EXPECT_EQ(token->status(), BCNInstallationsAuthTokenStatus::TokenReceived);
            EXPECT_EQ(token->token(), "t");
            EXPECT_EQ(token->expirationDate(), kReceived + *c.lifetime);
        } else {
            EXPECT_FALSE(token);
            ASSERT_TRUE(error);
            EXPECT_EQ(error->failureReason(),
                      "A required response field with name " + c.field + " is missing");
        }
    }
}

TEST(BCNInstallationsItemTest, RepliesThatAreNotJSONObjectsFailToSerialize) {
    for (const char* body : {"[1,2]", "not json", "\"text\"", ""}) {
        ErrorRef error;
        EXPECT_FALSE(
            BCNInstallationsItem::authTokenWithGenerateTokenAPIJSONData(body, kReceived, &error));
        ASSERT_TRUE(error) << body;
        EXPECT_EQ(error->failureReason(), "Failed to serialize JSON data.");
    }
    ErrorRef error;
    auto token = BCNInstallationsItem::authTokenWithGenerateTokenAPIJSONData(
        R"({"token":"fresh","expiresIn":"604800s"})", kReceived, &error);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->expirationDate(), kReceived + 7 * 24h);
}

TEST(BCNInstallationsItemTest, ARegistrationReplyMakesARegisteredItem) {
    auto sent = unregistered();
    sent.IIDDefaultToken = "legacy";
    const std::string reply =
        R"({"refreshToken":"r1","authToken":{"token":"a1","expiresIn":"3600s"}})";
    ErrorRef error;
    auto registered = sent.registeredInstallationWithJSONData(reply, kReceived, &error);
    ASSERT_TRUE(registered) << (error ? error->description() : "");
    EXPECT_EQ(registered->appID(), sent.appID());
    EXPECT_EQ(registered->beaconAppName(), sent.beaconAppName());
    EXPECT_EQ(registered->beaconInstallationID, sent.beaconInstallationID);
    EXPECT_EQ(registered->refreshToken, "r1");
    EXPECT_EQ(registered->authToken.token(), "a1");
    EXPECT_EQ(registered->authToken.expirationDate(), kReceived + 1h);
    EXPECT_EQ(registered->registrationStatus, Status::Registered);
    EXPECT_FALSE(registered->IIDDefaultToken);
    EXPECT_TRUE(registered->isValid());

    auto renamed = sent.registeredInstallationWithJSONData(
        R"({"fid":"fNewNewNewNewNewNewNew","refreshToken":"r","authToken":{"token":"a","expiresIn":"1s"}})",
        kReceived, &error);
    EXPECT_EQ(renamed->beaconInstallationID, "fNewNewNewNewNewNewNew");

    struct Case {
        std::string body;
        std::string field;
    } failures[] = {
        {R"({"authToken":{"token":"a","expiresIn":"1s"}})", "refreshToken"},
        {R"({"refreshToken":"r","authToken":"a"})", "authToken"},
        {R"({"refreshToken":"r"})", "authToken"},
        {R"({"refreshToken":"r","authToken":{"expiresIn":"1s"}})", "authToken.token"},
    };
    for (const auto& c : failures) {
        ErrorRef failure;
        EXPECT_FALSE(sent.registeredInstallationWithJSONData(c.body, kReceived, &failure));
        ASSERT_TRUE(failure) << c.body;
        EXPECT_EQ(failure->failureReason(),
                  "A required response field with name " + c.field + " is missing");
    }
}

TEST(BCNInstallationsItemTest, AStoredItemCarriesEverythingButTheIdentity) {
    auto item = unregistered();
    item.refreshToken = "refresh";
    item.authToken.setStatus(BCNInstallationsAuthTokenStatus::TokenReceived);
    item.authToken.setToken("token");
    item.authToken.setExpirationDate(kReceived);
    item.IIDDefaultToken = "legacy";
    BCNInstallationsItem copy("other", "name");
    copy.updateWithStoredItem(item.storedItem());
    EXPECT_EQ(copy.appID(), "other");
    BCNInstallationsItem same(item.appID(), item.beaconAppName());
    same.updateWithStoredItem(item.storedItem());
    EXPECT_EQ(same, item);
}

TEST(BCNInstallationsItemTest, ValidStringsAreNonEmptyTexts) {
    const nlohmann::json dict = {{"text", "x"}, {"empty", ""}, {"number", 1}, {"object", {}}};
    EXPECT_EQ(BCNInstallationsItem::validStringOrNilForKey("text", dict), "x");
    for (const char* key : {"empty", "number", "object", "missing"})
        EXPECT_FALSE(BCNInstallationsItem::validStringOrNilForKey(key, dict)) << key;
}

}  // namespace
}  // namespace pex
