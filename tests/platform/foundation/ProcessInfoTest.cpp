#include "platform/foundation/ProcessInfo.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(ProcessInfoTest, ArgumentsAreReadWholeFromTheCommandLine) {
    const auto arguments = ProcessInfo::arguments();
    ASSERT_FALSE(arguments.empty());
    EXPECT_NE(arguments.front().find("ProcessInfoTest"), std::string::npos);
    // gtest's filter flag is on ctest's command line; a part of it is not an argument.
    bool sawFilter = false;
    for (const auto& argument : arguments) sawFilter |= argument.starts_with("--gtest_filter=");
    if (sawFilter) {
        EXPECT_FALSE(ProcessInfo::hasArgument("--gtest_filter"));
    }
}

TEST(ProcessInfoTest, WholeArgumentsMatchAndTestsMayReplaceThem) {
    ProcessInfo::setArgumentsForTesting(
        std::vector<std::string>{"/bin/app", "-BCNDebugEnabled", "-BCNDebugDisabledX"});
    EXPECT_TRUE(ProcessInfo::hasArgument("-BCNDebugEnabled"));
    EXPECT_FALSE(ProcessInfo::hasArgument("-BCNDebugDisabled"));
    EXPECT_FALSE(ProcessInfo::hasArgument("-BCNDebug"));
    ProcessInfo::setArgumentsForTesting(std::nullopt);
    EXPECT_FALSE(ProcessInfo::hasArgument("-BCNDebugEnabled"));
}

TEST(ProcessInfoTest, ReadsTheEnvironment) {
    ::setenv("BeaconSessionsRunEnvironment", "staging", 1);
    EXPECT_EQ(ProcessInfo::environment("BeaconSessionsRunEnvironment"), "staging");
    ::unsetenv("BeaconSessionsRunEnvironment");
    EXPECT_FALSE(ProcessInfo::environment("BeaconSessionsRunEnvironment"));
}

}  // namespace
}  // namespace pex
