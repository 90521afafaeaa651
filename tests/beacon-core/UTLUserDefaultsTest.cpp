#include "beacon-core/UTLUserDefaults.h"

#include <vector>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon-core/UTLLogger.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class UTLUserDefaultsTest : public test::IsolatedTest {
  protected:
    test::LogCapture capture;
};

// The message code of a captured line, "I-UTL000001" of "… [I-UTL000001] text".
std::string codeOf(const CapturingLogBackend::Entry& entry) {
    const auto start = entry.text.rfind("[I-") + 1;
    return entry.text.substr(start, entry.text.find(']', start) - start);
}

TEST_F(UTLUserDefaultsTest, EveryPropertyListKindIsStoredAndReadBack) {
    UTLUserDefaults defaults("com.beacon.test");
    const PropertyList::Dictionary nested{{"$key", PropertyList(1)}};
    defaults.setObject(std::string("text"), "text");
    defaults.setObject(PropertyList::Date{1000.5}, "date");
    defaults.setObject(PropertyList::Data{1, 2, 3}, "data");
    defaults.setObject(PropertyList::Array{PropertyList("a"), PropertyList(2)}, "array");
    defaults.setObject(nested, "dictionary");
    defaults.setInteger(42, "integer");
    defaults.setDouble(0.5, "double");
    defaults.setFloat(1.5f, "float");
    defaults.setBool(true, "flag");

    EXPECT_EQ(defaults.stringForKey("text"), "text");
    EXPECT_EQ(defaults.objectForKey("date"), PropertyList(PropertyList::Date{1000.5}));
    EXPECT_EQ(defaults.objectForKey("data"), PropertyList(PropertyList::Data{1, 2, 3}));
    EXPECT_EQ(defaults.arrayForKey("array")->size(), 2u);
    EXPECT_EQ(defaults.dictionaryForKey("dictionary"), nested);
    EXPECT_EQ(defaults.integerForKey("integer"), 42);
    EXPECT_EQ(defaults.doubleForKey("double"), 0.5);
    EXPECT_EQ(defaults.floatForKey("float"), 1.5f);
    EXPECT_TRUE(defaults.boolForKey("flag"));
    EXPECT_FALSE(defaults.stringForKey("integer"));
    EXPECT_FALSE(defaults.arrayForKey("text"));
    const auto logged = capture.entries();
    EXPECT_TRUE(logged.empty());

    defaults.removeObjectForKey("text");
    EXPECT_FALSE(defaults.objectForKey("text"));
}

TEST_F(UTLUserDefaultsTest, AValueWrittenByOneInstanceIsReadByANewOneFromTheFile) {
    UTLUserDefaults("com.beacon.BCNInstallations").setBool(true, "exists");
    UTLUserDefaults("com.beacon.BCNInstallations").setObject(std::string("YES"), "text");
    UserDefaults fresh(root() / "config" / "suites" / "com.beacon.BCNInstallations.json");
    EXPECT_EQ(fresh.object("exists"), nlohmann::json(true));
    EXPECT_TRUE(UTLUserDefaults("com.beacon.BCNInstallations").boolForKey("text"));
}

TEST_F(UTLUserDefaultsTest, SuitesAreSeparateFromEachOtherAndFromTheStandardStore) {
    UTLUserDefaults("suite.one").setInteger(1, "n");
    UTLUserDefaults("suite.two").setInteger(2, "n");
    UTLUserDefaults::standardUserDefaults().setInteger(3, "n");
    EXPECT_EQ(UTLUserDefaults("suite.one").integerForKey("n"), 1);
    EXPECT_EQ(UTLUserDefaults("suite.two").integerForKey("n"), 2);
    EXPECT_EQ(UTLUserDefaults("").integerForKey("n"), 3);
    EXPECT_EQ(UTLUserDefaults().integerForKey("n"), 3);
    EXPECT_EQ(UserDefaults::standard().integer("n"), 3);  // the application's own store
    EXPECT_THROW(UTLUserDefaults("../escape"), std::invalid_argument);
}

TEST_F(UTLUserDefaultsTest, TypedReadersOfStoredTextAndAbsentKeys) {
    UTLUserDefaults defaults("readers");
    defaults.setObject(std::string("1"), "one");
    defaults.setObject(std::string("12"), "twelve");
    EXPECT_TRUE(defaults.boolForKey("one"));
    EXPECT_EQ(defaults.integerForKey("twelve"), 12);
    EXPECT_EQ(defaults.integerForKey("absent"), 0);
    EXPECT_FALSE(defaults.boolForKey("absent"));
    EXPECT_EQ(defaults.doubleForKey("absent"), 0.0);
}

TEST_F(UTLUserDefaultsTest, AnEmptyKeyWarnsAndChangesNothing) {
    UTLUserDefaults defaults("keys");
    defaults.setObject(std::string("kept"), "");
    EXPECT_FALSE(defaults.objectForKey(""));
    EXPECT_EQ(defaults.integerForKey(""), 0);
    const auto logged = capture.entries();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(codeOf(logged[0]), "I-UTL000002");
    EXPECT_EQ(logged[0].category, "[BeaconUtilities/UserDefaults]");
    EXPECT_EQ(logged[0].type, OSLogType::Default);
    EXPECT_EQ(logged[0].text,
              "(null) - [BeaconUtilities/UserDefaults][I-UTL000002] Cannot set object for "
              "invalid user default key.");
    EXPECT_EQ(codeOf(logged[1]), "I-UTL000001");
    EXPECT_EQ(logged[1].subsystem, "com.beacon.utilities.logger");
    EXPECT_EQ(logged[1].category, "<BeaconUtilities>");
    EXPECT_NE(logged[1].text.find("Cannot get object for invalid user default key."),
              std::string::npos);
    EXPECT_EQ(codeOf(logged[2]), "I-UTL000001");
    EXPECT_TRUE(UserDefaults::suite("keys")->object("") == std::nullopt);
}

TEST_F(UTLUserDefaultsTest, AnObjectOfAnotherKindWarnsAndKeepsThePreviousValue) {
    struct Custom {};
    UTLUserDefaults defaults("objects");
    defaults.setObject(std::string("before"), "key");
    defaults.setObject(Custom{}, "key");
    EXPECT_EQ(defaults.stringForKey("key"), "before");
    const auto logged = capture.entries();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(codeOf(logged[0]), "I-UTL000003");
    EXPECT_NE(logged[0].text.find("Cannot set invalid object to user defaults. Must be a string, "
                                  "number, array, dictionary, date, or data. Value: "),
              std::string::npos);
    EXPECT_NE(logged[0].text.find("Custom"), std::string::npos);
}

TEST_F(UTLUserDefaultsTest, WarningsAreDroppedBelowTheLevel) {
    UTLLogSetLevel(UTLLogLevelError);
    UTLUserDefaults().objectForKey("");
    UTLLogSetLevel(UTLLogLevelNotice);
    const auto logged = capture.entries();
    EXPECT_TRUE(logged.empty());
    UTLLogSetLevel(9);  // out of range: ignored
    EXPECT_EQ(UTLLogGetLevel(), UTLLogLevelNotice);
}

}  // namespace
}  // namespace pex
