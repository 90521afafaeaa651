#include "platform/foundation/DefaultsValueReading.h"

#include <limits>

#include <gtest/gtest.h>

namespace pex {
namespace {
using nlohmann::json;

struct Case {
    std::optional<json> stored;
    bool asBool;
    std::int64_t asInteger;
    double asDouble;
};

TEST(DefaultsValueReadingTest, TypedReadersConvertThePlatformsWay) {
    const std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const Case cases[] = {
        {std::nullopt, false, 0, 0},
        {json(true), true, 1, 1},
        {json(false), false, 0, 0},
        {json(12), true, 12, 12},
        {json(0), false, 0, 0},
        {json(-3), true, -3, -3},
        {json(2.75), true, 2, 2.75},
        {json(0.25), true, 0, 0.25},
        {json(1e300), true, kMax, 1e300},
        {json("1"), true, 1, 1},
        {json("12"), true, 12, 12},
        {json("  -7abc"), true, -7, -7},
        {json("YES"), true, 0, 0},
        {json("yes"), true, 0, 0},
        {json("true"), true, 0, 0},
        {json("0"), false, 0, 0},
        {json("007"), true, 7, 7},
        {json("NO"), false, 0, 0},
        {json("false"), false, 0, 0},
        {json("2.5"), true, 2, 2.5},
        {json(""), false, 0, 0},
        {json("99999999999999999999"), true, kMax, 1e20},
        {json::binary({1, 2}), false, 0, 0},
        {json::array({1}), false, 0, 0},
        {json::object({{"a", 1}}), false, 0, 0},
    };
    for (const Case& each : cases) {
        const std::string shown = each.stored ? each.stored->dump() : "absent";
        EXPECT_EQ(DefaultsValueReading::boolValue(each.stored), each.asBool) << shown;
        EXPECT_EQ(DefaultsValueReading::integerValue(each.stored), each.asInteger) << shown;
        EXPECT_DOUBLE_EQ(DefaultsValueReading::doubleValue(each.stored), each.asDouble) << shown;
    }
}

}  // namespace
}  // namespace pex
