#include "crashreporter/network/CRSURLBuilder.h"

#include <gtest/gtest.h>

#include "beacon-core/LogCapture.h"

namespace pex {
namespace {

TEST(CRSURLBuilderTest, QueryItemsJoinInOrderAndAMissingOneIsLeftOutWhole) {
    CRSURLBuilder builder = CRSURLBuilder::URLWithBase("https://settings.example");
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent("1:42:mac:ab");
    builder.appendValue(std::nullopt, "build_version");
    builder.appendValue(std::optional<std::string>("1.2 beta"), "display_version");
    builder.appendValue(std::int64_t{4}, "source");
    EXPECT_EQ(builder.URLString(),
              "https://settings.example/apps/1:42:mac:ab?display_version=1.2%20beta&source=4");
    EXPECT_EQ(builder.queryParams(), 2u);
    EXPECT_EQ(builder.URL(), builder.URLString());
}

TEST(CRSURLBuilderTest, ValuesCannotAddPathStepsOrQueryItems) {
    EXPECT_EQ(CRSURLBuilder::escapeString("a/b?c&d=e+f#g"), "a%2Fb%3Fc%26d%3De%2Bf%23g");
    EXPECT_EQ(CRSURLBuilder::escapeString("ok-._~!$'()*,;:@"), "ok-._~!$'()*,;:@");
    EXPECT_EQ(CRSURLBuilder::escapeString("版本"), "%E7%89%88%E6%9C%AC");
}

TEST(CRSURLBuilderTest, AnEmptyComponentIsLoggedAndAnEmptyValueLeavesTheName) {
    test::LogCapture log;
    CRSURLBuilder builder = CRSURLBuilder::URLWithBase("http://127.0.0.1");
    builder.appendComponent("");
    builder.appendValue(std::optional<std::string>(""), "instance");
    EXPECT_EQ(builder.URLString(), "http://127.0.0.1?instance=");
    int logged = 0;
    for (const auto& line : log.lines()) {
        if (line.find("URLBuilder parameter component must not be empty") != std::string::npos) {
            ++logged;
        }
    }
    EXPECT_EQ(logged, 2);
    EXPECT_EQ(CRSURLBuilder::URLWithBase("not a url").URL(), std::nullopt);
}

}  // namespace
}  // namespace pex
