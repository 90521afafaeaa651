#include "platform/mach/HostInfo.h"

#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(HostInfoTest, ReadsTheSystemFiles) {
    EXPECT_EQ(HostInfo::cpuBrandFrom("processor\t: 0\nvendor_id\t: X\n"
                                     "model name\t: Example CPU @ 2.00GHz\nflags\t: a b\n"),
              "Example CPU @ 2.00GHz");
    EXPECT_EQ(HostInfo::cpuBrandFrom("processor\t: 0\n"), std::nullopt);
    EXPECT_EQ(HostInfo::osVersionFrom("NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n"),
              "12");
    EXPECT_EQ(HostInfo::osVersionFrom("VERSION_ID=22.04\n"), "22.04");
    EXPECT_EQ(HostInfo::osVersionFrom("ID=arch\n"), std::nullopt);

    EXPECT_EQ(HostInfo::pageSize(), static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_TRUE(HostInfo::machine());
    EXPECT_TRUE(HostInfo::kernelRelease());
    EXPECT_TRUE(HostInfo::model());
}

TEST(HostInfoTest, TakesTheLocaleFromTheEnvironment) {
    const struct {
        const char* lcAll;
        const char* lang;
        const char* expected;
    } cases[] = {
        {"", "zh_CN.UTF-8", "zh_CN"},
        {"de_DE@euro", "zh_CN.UTF-8", "de_DE"},
        {"", "C.UTF-8", "en_US_POSIX"},
        {"", "", "en_US_POSIX"},
    };
    for (const auto& c : cases) {
        setenv("LC_ALL", c.lcAll, 1);
        unsetenv("LC_MESSAGES");
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(HostInfo::localeIdentifier(), c.expected) << c.lcAll << "/" << c.lang;
    }
    unsetenv("LC_ALL");
    unsetenv("LANG");
}

}  // namespace
}  // namespace pex
