#include "crashreporter/CRSUserDefaults.h"

#include <gtest/gtest.h>

#include "crashreporter/reports/ReportsFixture.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

class CRSUserDefaultsTest : public test::ReportsTest {
  protected:
    fs::path directory() const { return root() / "store"; }
};

TEST_F(CRSUserDefaultsTest, LivesUnderApplicationSupportInTheBundlesFolder) {
    EXPECT_EQ(CRSUserDefaults::generateDirectoryURL(),
              StandardFolders::applicationSupport() / "com.pexmora_tests" / "com.crashreporter");
    useBundleIdentifier("");
    EXPECT_EQ(CRSUserDefaults::generateDirectoryURL(),
              StandardFolders::applicationSupport() / "com.crashreporter");

    CRSUserDefaults store(directory());
    EXPECT_EQ(store.fileURL(), directory() / "CRSUserDefaults.plist");
}

TEST_F(CRSUserDefaultsTest, ValuesRoundTripThroughTheFile) {
    {
        CRSUserDefaults store(directory());
        EXPECT_FALSE(fs::exists(store.fileURL())) << "nothing is written before a change";
        store.setString("AB-CD", "text");
        store.setBool(true, "flag");
        store.setInteger(-42, "count");
        store.setObject(PropertyList(PropertyList::Array{PropertyList(1.5), PropertyList("x")}),
                        "list");
        store.synchronize();
        EXPECT_TRUE(store.synchronizeWroteToDisk());
        EXPECT_EQ(fs::status(store.fileURL()).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    CRSUserDefaults reread(directory());
    EXPECT_EQ(reread.stringForKey("text"), "AB-CD");
    EXPECT_TRUE(reread.boolForKey("flag"));
    EXPECT_EQ(reread.integerForKey("count"), -42);
    EXPECT_EQ(reread.objectForKey("list"),
              PropertyList(PropertyList::Array{PropertyList(1.5), PropertyList("x")}));
    EXPECT_EQ(reread.persistedDataDictionary(), reread.dictionaryRepresentation());
}

TEST_F(CRSUserDefaultsTest, TypedReadsAnswerOnlyForTheirKinds) {
    CRSUserDefaults store(directory());
    store.setString("12", "text");
    store.setObject(PropertyList(2.9), "real");
    EXPECT_EQ(store.integerForKey("missing"), 0);
    EXPECT_EQ(store.integerForKey("text"), 0);
    EXPECT_FALSE(store.boolForKey("text"));
    EXPECT_EQ(store.integerForKey("real"), 2);
    EXPECT_TRUE(store.boolForKey("real"));
    EXPECT_EQ(store.stringForKey("real"), std::nullopt);

    store.setObject(std::nullopt, "text");
    EXPECT_EQ(store.objectForKey("text"), std::nullopt);
    store.removeAllObjects();
    EXPECT_TRUE(store.dictionaryRepresentation().empty());
}

TEST_F(CRSUserDefaultsTest, SynchronizeWithoutChangesWritesNothing) {
    CRSUserDefaults store(directory());
    store.setString("v", "k");
    store.synchronize();
    ASSERT_TRUE(fs::exists(store.fileURL()));
    fs::remove(store.fileURL());  // a second write would bring it back

    store.synchronize();
    EXPECT_FALSE(store.synchronizeWroteToDisk());
    EXPECT_FALSE(fs::exists(store.fileURL()));

    store.setString("w", "k");
    store.synchronize();
    EXPECT_TRUE(store.synchronizeWroteToDisk());
    EXPECT_TRUE(fs::exists(store.fileURL()));
}

TEST_F(CRSUserDefaultsTest, AFolderWhereTheFileBelongsIsRemoved) {
    fs::create_directories(directory() / "CRSUserDefaults.plist" / "inner");
    CRSUserDefaults store(directory());
    EXPECT_TRUE(logged("Found directory where file expected. Removing conflicting directory"));
    EXPECT_FALSE(fs::exists(store.fileURL()));
    EXPECT_TRUE(store.dictionaryRepresentation().empty());

    store.setBool(true, "k");
    store.synchronize();
    EXPECT_TRUE(CRSUserDefaults(directory()).boolForKey("k"));
}

TEST_F(CRSUserDefaultsTest, ADamagedFileReadsAsEmptyAndIsOverwrittenByTheNextChange) {
    for (const std::string& bytes :
         {std::string("not a plist"),
          PropertyList(PropertyList::Array{}).serialize(PropertyList::Format::Binary)}) {
        writeFile(directory() / "CRSUserDefaults.plist", bytes);
        CRSUserDefaults store(directory());
        EXPECT_TRUE(logged("Failed to read existing UserDefaults file"));
        EXPECT_TRUE(store.dictionaryRepresentation().empty());
        store.setString("fresh", "k");
        store.synchronize();
        EXPECT_EQ(CRSUserDefaults(directory()).stringForKey("k"), "fresh");
    }
}

TEST_F(CRSUserDefaultsTest, MovesKeysOutOfTheApplicationsSettings) {
    UserDefaults::standard().set("a", "alpha");
    UserDefaults::standard().set("b", true);
    CRSUserDefaults store(directory());

    store.migrateFromNSUserDefaults({"a", "missing"});
    EXPECT_EQ(store.stringForKey("a"), "alpha");
    EXPECT_FALSE(UserDefaults::standard().contains("a"));
    EXPECT_EQ(CRSUserDefaults(directory()).stringForKey("a"), "alpha") << "written at once";

    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults("b"), PropertyList(true));
    EXPECT_FALSE(UserDefaults::standard().contains("b"));
    EXPECT_TRUE(CRSUserDefaults(directory()).boolForKey("b"));
    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults("nowhere"), std::nullopt);
    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults(""), std::nullopt);
}

}  // namespace
}  // namespace pex
