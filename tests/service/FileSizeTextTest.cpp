#include "service/FileSizeText.h"

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(FileSizeTextTest, ALimitIsSaidExactlyInTheLargestUnitThatCanSayIt) {
    const struct {
        std::uintmax_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 字节"},          {999, "999 字节"},         {1000, "1 KB"},
        {1500, "1.5 KB"},       {1501, "1501 字节"},       {2050, "2.05 KB"},
        {999'990, "999.99 KB"}, {1'000'010, "1000.01 KB"}, {1'234'567, "1234567 字节"},
        {2'500'000, "2.5 MB"},  {20'000'000, "20 MB"},     {20'001'000, "20.001 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(exactFileSizeText(c.bytes), c.text) << c.bytes;
}

TEST(FileSizeTextTest, ASizeShownInPassingIsRoundedToItsUnit) {
    EXPECT_EQ(fileSizeText(512), "512 字节");
    EXPECT_EQ(fileSizeText(1500), "2 KB");
    EXPECT_EQ(fileSizeText(1'540'000), "1.5 MB");
}

}  // namespace
}  // namespace pex
