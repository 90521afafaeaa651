#include "crashreporter/reports/CRSInternalReport.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "crashreporter/reports/CRSExecutionIdentifierModel.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/ReportsFixture.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using Date = CRSInternalReport::Date;

constexpr char kMetadata[] =
    R"({"identity":{"started_at":1765330000,"session_id":"0123456789abcdef0123456789abcdef","org_id":"org-1"}})"
    "\n"
    R"({"host":{"os_display_version":"12.0.0","os_build_version":"6.1.0-18-amd64"}})"
    "\n"
    R"({"application":{"build_version":"204","display_version":"2.4"}})"
    "\n";

Date at(std::int64_t seconds) {
    return Date(std::chrono::seconds(seconds));
}

class CRSInternalReportTest : public test::ReportsTest {
  protected:
    CRSInternalReportTest() { EXPECT_TRUE(manager_.createReportDirectories()); }

    // A report folder holding `files` (name → content) and, unless told otherwise, metadata.
    std::string makeReport(const std::string& name,
                           const std::vector<std::pair<std::string, std::string>>& files,
                           const std::string& metadata = kMetadata) {
        const fs::path folder = fs::path(manager_.activePath()) / name;
        fs::create_directories(folder);
        if (!metadata.empty()) writeFile(folder / "metadata.clsrecord", metadata);
        for (const auto& [file, content] : files) writeFile(folder / file, content);
        return folder.string();
    }

    CRSFileManager manager_;
};

TEST_F(CRSInternalReportTest, ReadsIdentityVersionsAndDatesFromTheMetadata) {
    const auto report = CRSInternalReport::reportWithPath(makeReport("r1", {}));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->identifier(), "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(report->directoryName(), "r1");
    EXPECT_EQ(report->metadataPath(), (fs::path(report->path()) / "metadata.clsrecord").string());
    EXPECT_EQ(report->binaryImagePath(),
              (fs::path(report->path()) / "binary_images.clsrecord").string());
    EXPECT_EQ(report->dateCreated(), at(1765330000));
    EXPECT_EQ(report->orgID(), "org-1");
    EXPECT_EQ(report->OSVersion(), "12.0.0");
    EXPECT_EQ(report->OSBuildVersion(), "6.1.0-18-amd64");
    EXPECT_EQ(report->bundleVersion(), "204");
    EXPECT_EQ(report->bundleShortVersionString(), "2.4");
    EXPECT_EQ(report->metadataSections().size(), 3u);
    EXPECT_EQ(report->customKeys(), std::nullopt);

    // Missing sections give nothing for what they would hold.
    const auto partial =
        CRSInternalReport::reportWithPath(makeReport("r2", {},
                                                     R"({"identity":{"session_id":"s"}})"
                                                     "\n"));
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->dateCreated(), std::nullopt);
    EXPECT_EQ(partial->OSVersion(), std::nullopt);
    EXPECT_EQ(partial->bundleShortVersionString(), std::nullopt);

    EXPECT_FALSE(CRSInternalReport::reportWithPath("", "id"));
    EXPECT_FALSE(CRSInternalReport::reportWithPath(report->path(), ""));
    EXPECT_EQ(CRSInternalReport::reportWithPath(report->path(), "given")->identifier(), "given");
}

TEST_F(CRSInternalReportTest, MetadataWithoutAnIdentityGivesNoReport) {
    const std::string cases[] = {
        "",  // no metadata file
        R"({"host":{"os_build_version":"x"}})"
        "\n",  // identity not first
        R"({"identity":{"started_at":1}})"
        "\n",  // no session id
        R"({"identity":{"session_id":12}})"
        "\n",                                       // not a text
        "{\"identity\":{\"session_id\":\"cut off",  // a torn line
    };
    int index = 0;
    for (const std::string& metadata : cases) {
        const std::string folder = makeReport("bad" + std::to_string(index++), {}, metadata);
        EXPECT_FALSE(CRSInternalReport::reportWithPath(folder)) << metadata;
    }
    EXPECT_TRUE(logged("Unable to read identifier at path " + manager_.activePath()));
}

TEST_F(CRSInternalReportTest, CrashAndEventFilesDecideWhatTheReportHolds) {
    struct Case {
        std::vector<std::string> files;
        bool crash;
        bool events;
    };
    const Case cases[] = {
        {{}, false, false},
        {{"log_a.clsrecord", "user_compacted_kv.clsrecord", "sdk.log"}, false, false},
        {{"errors_a.clsrecord"}, false, true},
        {{"custom_exception_b.clsrecord"}, false, true},
        {{"metric_kit_nonfatal.clsrecord"}, false, true},
        {{"metric_kit_fatal.clsrecord"}, true, true},
        {{"signal.clsrecord"}, true, true},
        {{"mach_exception.clsrecord"}, true, true},
        {{"exception.clsrecord"}, true, true},
        {{"custom_fatal.clsrecord"}, true, false},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& name : c.files) files.emplace_back(name, "");
        const auto report =
            CRSInternalReport::reportWithPath(makeReport(std::to_string(index++), files));
        ASSERT_TRUE(report);
        EXPECT_EQ(report->isCrash(), c.crash) << testing::PrintToString(c.files);
        EXPECT_EQ(report->hasAnyEvents(), c.events) << testing::PrintToString(c.files);
    }
}

TEST_F(CRSInternalReportTest, CrashTimePrefersTheMachException) {
    const std::string mach = R"({"mach_exception":{"time":200}})"
                             "\n";
    const std::string signal = R"({"threads":[]})"
                               "\n"
                               R"({"signal":{"time":100}})"
                               "\n";
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;
        std::optional<Date> crashed;
    };
    const Case cases[] = {
        {{{"mach_exception.clsrecord", mach}, {"signal.clsrecord", signal}}, at(200)},
        {{{"signal.clsrecord", signal}}, at(100)},
        {{{"mach_exception.clsrecord", R"({"other":{}})"
                                       "\n"},
          {"signal.clsrecord", signal}},
         at(100)},
        {{{"exception.clsrecord", ""}}, std::nullopt},  // a crash without time
        {{{"errors_a.clsrecord", ""}, {"x.clsrecord", mach}}, std::nullopt},  // no crash
    };
    int index = 0;
    for (const Case& c : cases) {
        const auto report =
            CRSInternalReport::reportWithPath(makeReport("c" + std::to_string(index++), c.files));
        ASSERT_TRUE(report);
        EXPECT_EQ(report->crashedOnDate(), c.crashed) << index;
    }
}

TEST_F(CRSInternalReportTest, ListsEveryCrashFileForSymbolication) {
    const auto report = CRSInternalReport::reportWithPath(makeReport("s", {}));
    std::vector<std::string> paths;
    report->enumerateSymbolicatableFilesInContent(
        [&](const std::string& path) { paths.push_back(path); });
    std::vector<std::string> expected;
    for (const char* name : {"exception.clsrecord", "mach_exception.clsrecord", "signal.clsrecord",
                             "metric_kit_fatal.clsrecord", "custom_fatal.clsrecord"}) {
        expected.push_back(report->pathForContentFile(name));
    }
    EXPECT_EQ(paths, expected);
}

// Damaged metadata beside a crash that reads: the report stays, named by its folder, and an
// earlier launch's folder is not removed for it.
TEST_F(CRSInternalReportTest, AReadableCrashSurvivesDamagedMetadata) {
    const std::string id = "89abcdef0123456789abcdef01234567";
    const std::string readableCrash =
        makeReport(id,
                   {{"signal.clsrecord", R"({"signal":{"number":11,"time":1765330000}})"
                                         "\n"}},
                   "{\"identity\":{\"session_id\":\"89ab");
    const std::string garbageCrash = makeReport("fedcba9876543210fedcba9876543210",
                                                {{"signal.clsrecord", "\x01\x02"}}, "garbage");
    const std::string notAnIdentifier = makeReport("not-a-launch",
                                                   {{"signal.clsrecord", R"({"signal":{}})"
                                                                         "\n"}},
                                                   "garbage");
    const auto yesterday = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const auto& folder : {readableCrash, garbageCrash, notAnIdentifier}) {
        for (const auto& entry : fs::directory_iterator(folder))
            fs::last_write_time(entry, yesterday);
        fs::last_write_time(folder, yesterday);
    }
    CRSFileManager thisLaunch;

    const auto reports = CRSInternalReport::reportsAtPathsRemovingAbandoned(
        {readableCrash, garbageCrash, notAnIdentifier}, thisLaunch);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]->identifier(), id);
    EXPECT_EQ(reports[0]->path(), readableCrash);
    EXPECT_TRUE(reports[0]->isCrash());
    EXPECT_EQ(reports[0]->crashedOnDate(), at(1765330000));
    EXPECT_TRUE(logged("Taking the identifier of the report at " + readableCrash +
                       " from its folder name"));
    EXPECT_TRUE(fs::exists(readableCrash));
    EXPECT_FALSE(fs::exists(garbageCrash));
    EXPECT_FALSE(fs::exists(notAnIdentifier));
}

TEST_F(CRSInternalReportTest, FoldersWithoutIdentityFromEarlierLaunchesAreRemoved) {
    const std::string good = makeReport("good", {{"signal.clsrecord", ""}});
    const std::string abandoned = makeReport("abandoned", {{"signal.clsrecord", ""}}, "");
    const std::string damaged = makeReport("damaged", {}, "{\"identity\":{");
    const auto yesterday = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const auto& folder : {abandoned, damaged}) {
        for (const auto& entry : fs::directory_iterator(folder))
            fs::last_write_time(entry, yesterday);
        fs::last_write_time(folder, yesterday);
    }
    CRSFileManager thisLaunch;  // the launch started after those folders were last written
    const std::string current = makeReport("current", {}, "");  // being written right now

    const auto reports = CRSInternalReport::reportsAtPathsRemovingAbandoned(
        {good, abandoned, damaged, current}, thisLaunch);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]->path(), good);
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_FALSE(fs::exists(damaged));
    EXPECT_TRUE(fs::exists(current));
    EXPECT_TRUE(fs::exists(good));
}

TEST(CRSExecutionIdentifierModelTest, IsThirtyTwoLowercaseHexDigitsNewForEachModel) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const CRSExecutionIdentifierModel model;
        EXPECT_TRUE(std::regex_match(model.executionID(), std::regex("[0-9a-f]{32}")))
            << model.executionID();
        seen.insert(model.executionID());
    }
    EXPECT_EQ(seen.size(), 50u);
}

}  // namespace
}  // namespace pex
