#include "crashreporter/reports/CRSFileManager.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "crashreporter/reports/CRSLaunchMarkerModel.h"
#include "crashreporter/reports/ReportsFixture.h"
#include "platform/foundation/StandardFolders.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

class CRSFileManagerTest : public test::ReportsTest {};

std::vector<std::string> sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST_F(CRSFileManagerTest, LaysTheTreeOutUnderTheCachesFolder) {
    useBundleIdentifier("com.pexmora/app/x");
    CRSFileManager manager;
    const fs::path caches = StandardFolders::caches();
    const fs::path root = caches / "com.crashreporter.data" / "com.pexmora_app_x";
    EXPECT_EQ(manager.cachesPath(), caches.string());
    EXPECT_EQ(manager.rootPath(), root.string());
    const std::pair<std::string, fs::path> layout[] = {
        {manager.versionedPath(), root / "v5"},
        {manager.settingsDirectoryPath(), root / "v5/settings"},
        {manager.settingsFilePath(), root / "v5/settings/settings.json"},
        {manager.settingsCacheKeyPath(), root / "v5/settings/cache-key.json"},
        {manager.structurePath(), root / "v5/reports"},
        {manager.activePath(), root / "v5/reports/active"},
        {manager.pendingPath(), root / "v5/reports/pending"},
        {manager.processingPath(), root / "v5/reports/processing"},
        {manager.preparedPath(), root / "v5/reports/prepared"},
        {CRSLaunchMarkerModel(manager).launchFailureMarkerPath(), root / "v5/reports/launchmarker"},
    };
    for (const auto& [path, expected] : layout) EXPECT_EQ(path, expected.string());
    EXPECT_FALSE(fs::exists(root)) << "building the manager touches no file";
}

TEST_F(CRSFileManagerTest, CreatesTheStagesButNeverPending) {
    CRSFileManager manager;
    ASSERT_TRUE(manager.createReportDirectories());
    for (const auto& stage :
         {manager.activePath(), manager.processingPath(), manager.preparedPath()}) {
        EXPECT_TRUE(fs::is_directory(stage)) << stage;
        EXPECT_EQ(fs::status(stage).permissions() & fs::perms::all, fs::perms::owner_all);
    }
    EXPECT_FALSE(fs::exists(manager.pendingPath()));

    const auto report = manager.setupNewPathForExecutionIdentifier("0123abcd");
    ASSERT_TRUE(report);
    EXPECT_EQ(*report, (fs::path(manager.activePath()) / "0123abcd").string());
    EXPECT_TRUE(fs::is_directory(*report));

    // A stage that cannot be made (a file in its way) fails the call.
    fs::remove_all(manager.processingPath());
    writeFile(manager.processingPath(), "in the way");
    EXPECT_FALSE(manager.createReportDirectories());
    EXPECT_TRUE(logged("Unable to create directory"));
}

TEST_F(CRSFileManagerTest, HiddenNamesNeverTakePartInListingsOrRemovals) {
    CRSFileManager manager;
    ASSERT_TRUE(manager.createReportDirectories());
    const fs::path active = manager.activePath();
    writeFile(active / ".DS_Store", "x");
    writeFile(active / "report1" / "metadata.clsrecord", "{}");
    writeFile(active / "notes.txt", "y");

    std::vector<std::pair<std::string, std::string>> seen;
    manager.enumerateFilesInDirectory(active, [&](const std::string& path, const std::string& ext) {
        seen.emplace_back(path, ext);
    });
    std::sort(seen.begin(), seen.end());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {(active / "notes.txt").string(), "txt"}, {(active / "report1").string(), ""}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(sorted(manager.activePathContents()),
              sorted({(active / "notes.txt").string(), (active / "report1").string()}));

    EXPECT_TRUE(manager.removeContentsOfDirectoryAtPath(active));
    EXPECT_TRUE(fs::exists(active / ".DS_Store"));
    EXPECT_TRUE(manager.activePathContents().empty());

    EXPECT_TRUE(manager.removeContentsOfDirectoryAtPath(manager.preparedPath())) << "empty";
    EXPECT_TRUE(manager.removeContentsOfDirectoryAtPath(manager.pendingPath())) << "missing";
    EXPECT_TRUE(manager.contentsOfDirectory(manager.pendingPath()).empty());
}

TEST_F(CRSFileManagerTest, MovesKeepTheLastComponentAndRefuseBadInputs) {
    CRSFileManager manager;
    ASSERT_TRUE(manager.createReportDirectories());
    const auto report = *manager.setupNewPathForExecutionIdentifier("abc");
    writeFile(fs::path(report) / "signal.clsrecord", "{}");

    EXPECT_TRUE(manager.moveItemAtPath(report, manager.processingPath()));
    const fs::path moved = fs::path(manager.processingPath()) / "abc";
    EXPECT_TRUE(fs::exists(moved / "signal.clsrecord"));
    EXPECT_FALSE(fs::exists(report));

    EXPECT_FALSE(manager.moveItemAtPath(std::nullopt, manager.preparedPath()));
    EXPECT_FALSE(manager.moveItemAtPath(moved.string(), std::nullopt));
    EXPECT_TRUE(logged("Failed to move file, inputs invalid"));
    EXPECT_FALSE(manager.moveItemAtPath(report, manager.preparedPath())) << "gone already";
    EXPECT_TRUE(logged("Failed to move file: "));

    EXPECT_EQ(manager.fileSizeAtPath((moved / "signal.clsrecord").string()), 2u);
    EXPECT_EQ(manager.fileSizeAtPath(report), std::nullopt);
    EXPECT_TRUE(manager.removeItemAtPath(moved.string()));
    EXPECT_FALSE(fs::exists(moved));
    EXPECT_FALSE(manager.removeItemAtPath(std::nullopt));
}

TEST_F(CRSFileManagerTest, MetricKitDiagnosticsCountOnlyVisibleFiles) {
    CRSFileManager manager;
    EXPECT_FALSE(manager.metricKitDiagnosticFileExists()) << "no folder";
    const fs::path diagnostics = fs::path(manager.cachesPath()) / "MetricKit" / "Diagnostics";
    writeFile(diagnostics / ".hidden", "x");
    EXPECT_FALSE(manager.metricKitDiagnosticFileExists());
    writeFile(diagnostics / "payload", "x");
    EXPECT_TRUE(manager.metricKitDiagnosticFileExists());

    ASSERT_TRUE(manager.createReportDirectories());
    const auto report = *manager.setupNewPathForExecutionIdentifier("r");
    manager.createEmptyMetricKitFile(report);
    EXPECT_EQ(manager.fileSizeAtPath((fs::path(report) / "metric_kit_fatal.clsrecord").string()),
              0u);
}

TEST_F(CRSFileManagerTest, ThePreviousCrashIsAskedOnceForTheWholeProcess) {
    CRSFileManager manager;
    EXPECT_FALSE(manager.crashFileMarkerExists());
    writeFile(fs::path(manager.rootPath()) / "previously-crashed", "");
    const bool first = manager.didCrashOnPreviousExecution();
    EXPECT_TRUE(first);

    fs::remove(fs::path(manager.rootPath()) / "previously-crashed");
    EXPECT_EQ(manager.didCrashOnPreviousExecution(), first);
    CRSFileManager another;
    EXPECT_EQ(another.didCrashOnPreviousExecution(), first) << "one answer per process";
}

TEST_F(CRSFileManagerTest, TheLaunchMarkerTellsThatTheLastLaunchDiedEarly) {
    CRSFileManager manager;
    ASSERT_TRUE(manager.createReportDirectories());
    CRSLaunchMarkerModel marker(manager);
    EXPECT_FALSE(marker.launchFailureMarkerPresent());
    EXPECT_FALSE(marker.checkForAndCreateLaunchMarker()) << "first launch";
    EXPECT_TRUE(marker.launchFailureMarkerPresent());
    EXPECT_TRUE(marker.checkForAndCreateLaunchMarker()) << "left behind";
    EXPECT_TRUE(marker.launchFailureMarkerPresent());
    EXPECT_TRUE(marker.removeLaunchFailureMarker());
    EXPECT_FALSE(marker.checkForAndCreateLaunchMarker());

    fs::remove_all(manager.structurePath());
    EXPECT_FALSE(marker.createLaunchFailureMarker()) << "no folder to create it in";
}

}  // namespace
}  // namespace pex
