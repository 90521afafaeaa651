#include "BeaconTransport/TXPLibrary/TXPPlatform.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPApplication.h"
#include "BeaconTransport/TXPLibrary/TXPReachability.h"
#include "BeaconTransport/TXPLibrary/TXPUploader.h"
#include "TXPTestEvents.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/systemconfiguration/FakeNetworkReachability.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class TXPPlatformTest : public test::IsolatedTest {};

TEST_F(TXPPlatformTest, FlagsBecomeUploadConditions) {
    struct Case {
        std::uint32_t flags;
        std::int64_t conditions;
    };
    const Case cases[] = {{2, TXPNetworkWifi},   // reachable
                          {6, TXPNetworkNone},   // reachable, but a connection must be made
                          {0, TXPNetworkNone},   // nothing
                          {4, TXPNetworkNone}};  // connection required alone
    for (const Case& c : cases)
        EXPECT_EQ(TXPUploadConditionsForFlags(c.flags), c.conditions) << c.flags;
}

TEST_F(TXPPlatformTest, TheNetworkTypeFollowsTheReachableBitAlone) {
    auto fake = std::make_shared<FakeNetworkReachability>(6);
    TXPReachability::setNetworkReachabilityForTesting(fake);
    EXPECT_EQ(TXPCurrentNetworkType(), 1);  // although uploads see no network for flags 6
    fake->setFlags(0);
    EXPECT_EQ(TXPCurrentNetworkType(), 0);
    EXPECT_EQ(TXPCurrentMobileSubtype(), 0);
    EXPECT_EQ(TXPPlatformModelName(), "Unknown");
    TXPReachability::setNetworkReachabilityForTesting(nullptr);
}

TEST_F(TXPPlatformTest, TheStorageRootIsAPrivateFolderInTheCaches) {
    std::filesystem::path root = TXPStorageRootDirectory();
    EXPECT_EQ(root, StandardFolders::caches() / "beacon-sdks-events");
    struct stat info {};
    ASSERT_EQ(::stat(root.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(TXPPlatformTest, ArchivesGoToFilesAndBack) {
    TXPEvent event = test::makeEvent("1974", 1001);
    auto file = root() / "deep" / "folder" / "event";
    ErrorRef error;
    std::string bytes = TXPEncodeArchive(event, file, &error);
    EXPECT_FALSE(error);
    EXPECT_FALSE(bytes.empty());
    auto decoded = TXPDecodeArchiveAtPath<TXPEvent>(file, &error);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, event);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    EXPECT_FALSE(TXPDecodeArchiveAtPath<TXPEvent>(root() / "missing", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ENOENT);
    EXPECT_FALSE(TXPDecodeArchive<TXPClock>(bytes, &error));  // an event is not a clock
    EXPECT_FALSE(TXPDecodeArchive<TXPEvent>("garbage", &error));
    EXPECT_FALSE(TXPWriteDataToFile("x", ""));
}

// A new file and one written over: each time the whole content under the name, private, and
// nothing else left in the folder (no temporary file).
TEST_F(TXPPlatformTest, FilesAreWrittenWholeAndReplacedWithoutLeftovers) {
    const auto folder = root() / "files";
    const auto file = folder / "counter";
    for (const std::string& content : {std::string(3000, 'a'), std::string("bb")}) {
        ErrorRef error;
        ASSERT_TRUE(TXPWriteDataToFile(content, file, &error))
            << (error ? error->description() : "");
        std::error_code code;
        EXPECT_EQ(AtomicFile::read(file, code), content);
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"counter"});
    }
}

TEST_F(TXPPlatformTest, AppExtensionsAreToldByTheirBundlePath) {
    EXPECT_TRUE(TXPApplication::isAppExtensionPath("/Apps/Widget.appex"));
    EXPECT_TRUE(TXPApplication::isAppExtensionPath("/Apps/Widget.appex/"));
    EXPECT_FALSE(TXPApplication::isAppExtensionPath("/Apps/Pexmora.app"));
    EXPECT_FALSE(TXPApplication::sharedApplication().isAppExtension());
}

TEST_F(TXPPlatformTest, NoBackgroundTimeIsGrantedHere) {
    TXPApplication& application = TXPApplication::sharedApplication();
    EXPECT_EQ(application.beginBackgroundTask("TXStorage", [] {}), TXPBackgroundIdentifierInvalid);
    application.endBackgroundTask(TXPBackgroundIdentifierInvalid);
    EXPECT_FALSE(application.isRunningInBackground());
}

TEST_F(TXPPlatformTest, TheApplicationsTerminationBecomesTheTransportsNotification) {
    TXPApplication::sharedApplication();
    int posted = 0;
    NotificationCenter& centre = NotificationCenter::defaultCenter();
    ScopedObserver observer(centre,
                            centre.addObserver(TXPApplicationWillTerminateNotification, nullptr,
                                               [&](const Notification&) { ++posted; }));
    centre.post(TXPSystemApplicationWillTerminateNotification);
    EXPECT_EQ(posted, 1);
}

TEST(TXPReachabilityTest, ChangesReplaceTheStartFlagsEvenWhenTheyFallToZero) {
    auto fake = std::make_shared<FakeNetworkReachability>(NetworkReachability::kReachable);
    TXPReachability reachability(fake);
    EXPECT_EQ(reachability.flags(), 2u);
    EXPECT_EQ(reachability.callbackFlags(), 0u);
    fake->setFlags(6);
    EXPECT_EQ(reachability.callbackFlags(), 6u);
    EXPECT_EQ(reachability.effectiveFlags(), 6u);
    // Offline after being online: 0 must not fall back to the flags read at start.
    fake->setFlags(0);
    EXPECT_EQ(reachability.effectiveFlags(), 0u);
}

TEST(TXPReachabilityTest, UnreadableStateGivesZero) {
    TXPReachability reachability(std::make_shared<FakeNetworkReachability>(std::nullopt));
    EXPECT_EQ(reachability.flags(), 0u);
}

}  // namespace
}  // namespace pex
