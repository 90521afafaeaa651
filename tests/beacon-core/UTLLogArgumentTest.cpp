#include "beacon-core/UTLLogArgument.h"

#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"

namespace pex {
namespace {

struct Case {
    const char* format;
    std::vector<UTLLogArgument> arguments;
    const char* expected;
};

TEST(UTLLogArgumentTest, DirectivesAreFilledInOrderByKind) {
    const std::vector<Case> cases = {
        {"plain text", {}, "plain text"},
        {"100%% sure", {}, "100% sure"},
        {"%@ and %@", {"a", std::string("b")}, "a and b"},
        {"%ld items, %d left, %lld total", {5L, -2, 7LL}, "5 items, -2 left, 7 total"},
        {"code %06ld", {12L}, "code 000012"},
        {"%lu/%x/%X", {7UL, 255u, 255u}, "7/ff/FF"},
        {"%.2f s", {1.5}, "1.50 s"},
        {"%@ as object", {42}, "42 as object"},
        {"%d from a real", {2.9}, "2 from a real"},
        {"%s", {static_cast<const char*>(nullptr)}, "(null)"},
        {"flag %d", {true}, "flag 1"},
        {"%5s|%-4d|", {"ab", 3}, "   ab|3   |"},
        {"missing %@ and %ld", {"one"}, "missing one and %ld"},
        {"dangling %", {}, "dangling %"},
        {"%@", {PropertyList("x")}, "\"x\""},
        {"%@", {std::string(300, 'y')}, nullptr},  // long text is not cut
    };
    for (const auto& c : cases) {
        const std::string text = UTLFormatLogText(c.format, c.arguments);
        if (c.expected)
            EXPECT_EQ(text, c.expected) << c.format;
        else
            EXPECT_EQ(text, std::string(300, 'y'));
    }
}

TEST(UTLLogArgumentTest, SharedObjectsPrintTheirDescriptionOrNull) {
    struct Named {
        std::string description() const { return "named"; }
    };
    const std::vector<UTLLogArgument> arguments{std::make_shared<Named>(),
                                                std::shared_ptr<Named>()};
    EXPECT_EQ(UTLFormatLogText("%@ %@", arguments), "named (null)");
}

}  // namespace
}  // namespace pex
