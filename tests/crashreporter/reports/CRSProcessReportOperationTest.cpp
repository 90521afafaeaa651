#include "crashreporter/reports/CRSProcessReportOperation.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace pex {
namespace {

std::vector<std::vector<std::uint64_t>> addresses(const CRSThreadArray& threads) {
    std::vector<std::vector<std::uint64_t>> result;
    for (const auto& thread : threads) {
        result.emplace_back();
        for (const auto& frame : thread) result.back().push_back(frame.address);
    }
    return result;
}

TEST(CRSProcessReportOperationTest, ReadsTheFramesOfEveryFormOfThreadRecord) {
    // A folded recursion as earlier records wrote it, a deep stack with the gap between its two
    // ends, and a thread whose state could not be read.
    const test::TempDir dir;
    const std::string path = (dir.path() / "signal.clsrecord").string();
    std::ofstream(path) << R"({"signal":{"number":11}})"
                           "\n"
                        << R"({"threads":[)"
                           R"({"registers":{"rip":1},"stacktrace":[10,20,20,30],"crashed":true,)"
                           R"("repeated_pc":20,"repeat_count":4000},)"
                           R"({"registers":{"rip":2},"stacktrace":[40,50,60],)"
                           R"("frames_omitted":{"after":2,"count":15000}},)"
                           R"({"registers":{},"stacktrace":[]}]})"
                           "\n";
    const auto threads = CRSProcessReportOperation::threadArrayFromFile(path);
    ASSERT_TRUE(threads);
    EXPECT_EQ(addresses(*threads),
              (std::vector<std::vector<std::uint64_t>>{{10, 20, 20, 30}, {40, 50, 60}, {}}));
}

}  // namespace
}  // namespace pex
