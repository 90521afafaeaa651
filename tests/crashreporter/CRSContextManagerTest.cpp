#include "crashreporter/CRSContextManager.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "CrashReporterFixture.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/ChildProcess.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {
namespace {

// The app-quality session the report's metadata names; "" when it names none.
std::string sessionInMetadata(const CRSInternalReport& report) {
    const auto sections = CRSFileReadSections(report.metadataPath().c_str(), false);
    if (!sections || sections->empty()) return "";
    const auto& identity = sections->front().value("identity", nlohmann::json::object());
    const auto session = identity.find("app_quality_session_id");
    return session != identity.end() && session->is_string() ? session->get<std::string>() : "";
}

// The context is process-wide and installs handlers, so it is started in a child. The child is
// forked before this process has started any worker thread (a forked child has none of them),
// which is why this suite is the file's first and makes its own folders.
TEST(CRSContextManagerStartTest,
     ASessionChangeBeforeTheContextIsOnlyStoredThenRewritesTheMetadata) {
    const int failedStep = test::exitCodeOfChild([] {
        test::TempDir dir;
        StandardFolders::setRootForTesting(dir.path() / "home");
        UserDefaults::setRootDirectory(dir.path() / "config");
        test::LogCapture log;
        auto fileManager = std::make_shared<CRSFileManager>();
        if (!fileManager->createReportDirectories()) return 1;
        const auto report = CRSInternalReport::reportWithPath(
            fileManager->setupNewPathForExecutionIdentifier("0123456789abcdef").value_or(""),
            "0123456789abcdef");
        if (!report) return 2;
        auto settings = std::make_shared<CRSSettings>(*fileManager, CRSSettingsBuildIdentity{});

        CRSContextManager manager(Bundle{});
        manager.setAppQualitySessionId("before-start");
        // Only stored: nothing is written before the context starts.
        if (manager.hasInitializedContext() || std::filesystem::exists(report->metadataPath()))
            return 3;
        if (manager.buildInitData().appQualitySessionId != "before-start") return 4;

        const PRMPromiseRef started = manager.setupContextWithReport(report, settings, fileManager);
        if (!started) return 5;
        for (int i = 0; i < 2000 && !CRSContextIsInitialized(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!CRSContextIsInitialized()) return 6;
        // The stored session went into the context's metadata; later changes rewrite it.
        if (sessionInMetadata(*report) != "before-start") return 7;
        manager.setAppQualitySessionId("after-start");
        if (sessionInMetadata(*report) != "after-start") return 8;

        // A report folder that is gone cannot be written: said, and nothing stops.
        std::filesystem::remove_all(report->path());
        manager.setAppQualitySessionId("lost");
        bool said = false;
        for (const auto& line : log.lines())
            said = said || line.find(
                               "Failed to write context file while updating App Quality "
                               "Session ID") != std::string::npos;
        if (!said) return 9;
        return manager.appQualitySessionId() == "lost" ? 0 : 10;
    });
    EXPECT_EQ(failedStep, 0);
}

class CRSContextManagerTest : public test::CrashReporterTest {
  protected:
    std::shared_ptr<CRSInternalReport> currentReport() {
        const auto path = fileManager_->setupNewPathForExecutionIdentifier("0123456789abcdef");
        return CRSInternalReport::reportWithPath(path.value_or(""), "0123456789abcdef");
    }

    std::shared_ptr<CRSSettings> settings_ =
        std::make_shared<CRSSettings>(*fileManager_, CRSSettingsBuildIdentity{});
};

TEST_F(CRSContextManagerTest, TheInitDataComesFromTheReportTheSettingsAndTheFileManager) {
    const auto report = currentReport();
    ASSERT_TRUE(report);
    const CRSContextInitData initData =
        CRSContextBuildInitData(*report, *settings_, *fileManager_, "session-1", "install-1");
    EXPECT_EQ(initData.customBundleId, std::nullopt);
    EXPECT_EQ(initData.rootPath, report->path());
    EXPECT_EQ(initData.previouslyCrashedFileRootPath, fileManager_->rootPath());
    EXPECT_EQ(initData.sessionId, "0123456789abcdef");
    EXPECT_EQ(initData.appQualitySessionId, "session-1");
    EXPECT_EQ(initData.betaToken, "");
    EXPECT_EQ(initData.installId, "install-1");
    EXPECT_EQ(CRSContextBuildInitData(*report, *settings_, *fileManager_, "session-1").installId,
              std::nullopt);
    EXPECT_TRUE(initData.errorsEnabled);
    EXPECT_TRUE(initData.customExceptionsEnabled);
    EXPECT_EQ(initData.maxCustomExceptions, 8u);
    EXPECT_EQ(initData.maxErrorLogSize, 64000u);
    EXPECT_EQ(initData.maxLogSize, 64000u);
    EXPECT_EQ(initData.maxKeyValues, 64u);
}

}  // namespace
}  // namespace pex
