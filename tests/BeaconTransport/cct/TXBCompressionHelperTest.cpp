#include "BeaconTransport/cct/TXBCompressionHelper.h"

#include <zlib.h>

#include <gtest/gtest.h>

namespace pex {
namespace {

std::string gunzip(const std::string& gzipped) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzipped.data()));
    stream.avail_in = static_cast<uInt>(gzipped.size());
    std::string output;
    char window[4096];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(window);
        stream.avail_out = sizeof window;
        result = inflate(&stream, Z_NO_FLUSH);
        output.append(window, sizeof window - stream.avail_out);
    }
    EXPECT_EQ(result, Z_STREAM_END);
    inflateEnd(&stream);
    return output;
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
