#include "BeaconTransport/cct/TXBCompressionHelper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>

#include "beacon-core/UTLGzip.h"

namespace pex {
namespace {

std::string gunzip(const std::string& gzipped) {
    ErrorRef error;
    const std::optional<UTLData> inflated = UTLGzip::dataByInflatingGzippedData(
        std::span(reinterpret_cast<const std::uint8_t*>(gzipped.data()), gzipped.size()), &error);
    EXPECT_TRUE(inflated) << (error ? error->localizedDescription() : "");
    return inflated ? std::string(inflated->begin(), inflated->end()) : std::string();
}

TEST(TXBCompressionHelperTest, GzipRoundTripsAndIsRecognised) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "event " + std::to_string(i % 17) + ";";
    auto gzipped = TXBCompressionHelper::gzippedData(text);
    ASSERT_TRUE(gzipped);
    EXPECT_TRUE(TXBCompressionHelper::isGzipped(*gzipped));
    EXPECT_LT(gzipped->size(), text.size() / 4);  // output grew past its first window
    EXPECT_EQ(gunzip(*gzipped), text);
}

TEST(TXBCompressionHelperTest, ATinyInputGivesALongerValidStreamAndEmptyGivesNone) {
    auto gzipped = TXBCompressionHelper::gzippedData("x");
    ASSERT_TRUE(gzipped);
    EXPECT_GT(gzipped->size(), 1u);  // so the caller sends the byte uncompressed
    EXPECT_EQ(gunzip(*gzipped), "x");
    EXPECT_FALSE(TXBCompressionHelper::gzippedData(""));
    EXPECT_FALSE(TXBCompressionHelper::isGzipped(std::string("\x1F", 1)));
    EXPECT_FALSE(TXBCompressionHelper::isGzipped("ab"));
}

}  // namespace
}  // namespace pex
