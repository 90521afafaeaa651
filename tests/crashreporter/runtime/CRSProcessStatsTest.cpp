#include "crashreporter/runtime/CRSProcessStats.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSFileReader.h"

namespace pex {
namespace {

TEST(CRSProcessStatsTest, ReadsTheProcTexts) {
    const char* meminfo =
        "MemTotal:       16318928 kB\n"
        "MemFree:         1000 kB\n"
        "Active(anon):     999 kB\n"
        "Active:           300 kB\n"
        "Inactive:         200 kB\n"
        "Mlocked:            4 kB\n";
    std::uint64_t active = 0, inactive = 0, wired = 0, free = 0;
    ASSERT_TRUE(CRSProcessParseMemInfo(meminfo, &active, &inactive, &wired, &free));
    EXPECT_EQ(active, 300u * 1024);
    EXPECT_EQ(inactive, 200u * 1024);
    EXPECT_EQ(wired, 4u * 1024);
    EXPECT_EQ(free, 1000u * 1024);
    EXPECT_FALSE(CRSProcessParseMemInfo("MemFree: 1 kB\n", &active, &inactive, &wired, &free));

    // The command name may hold blanks and parentheses.
    const char* stat = "1234 (a (b) c) S 1 1234 1234 0 -1 4194560 100 0 0 0 250 75 0 0 20 0";
    std::uint64_t user = 0, system = 0;
    ASSERT_TRUE(CRSProcessParseStatTimes(stat, &user, &system));
    EXPECT_EQ(user, 250u);
    EXPECT_EQ(system, 75u);
    EXPECT_FALSE(CRSProcessParseStatTimes("1234 (cut", &user, &system));
    EXPECT_FALSE(CRSProcessParseStatTimes("1234 (x) S 1 2", &user, &system));
}

using CRSProcessStatsRecordTest = test::CrashContextTest;

TEST_F(CRSProcessStatsRecordTest, WritesTheStatisticsOfThisProcess) {
    CRSContextInitializeHost();
    const std::string path = (root() / "stats.clsrecord").string();
    CRSFile file;
    ASSERT_TRUE(CRSFileInit(&file, path.c_str(), false));
    CRSProcessRecordStats(&file);
    ASSERT_TRUE(CRSFileClose(&file));

    const auto sections = CRSFileReadSections(path.c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 1u);
    const nlohmann::json& stats = (*sections)[0]["process_stats"];
    EXPECT_GT(stats["active"].get<std::uint64_t>(), 0u);
    EXPECT_GT(stats["free_mem"].get<std::uint64_t>(), 0u);
    EXPECT_EQ(stats["freeMem"], stats["free_mem"]);
    EXPECT_GT(stats["resident"].get<std::uint64_t>(), 0u);
    EXPECT_GE(stats["virtual"].get<std::uint64_t>(), stats["resident"].get<std::uint64_t>());
    EXPECT_TRUE(stats["user_time"].is_number_unsigned());
    EXPECT_TRUE(stats["sys_time"].is_number_unsigned());
}

}  // namespace
}  // namespace pex
