#include "beacon-core/UTLGzip.h"

#include <sys/mman.h>

#include <random>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

namespace pex {
namespace {

UTLData bytesOf(const std::string& text) {
    return UTLData(text.begin(), text.end());
}

TEST(UTLGzipTest, GzipAndInflateGiveTheInputBack) {
    std::mt19937 random(7);
    UTLData noise(100000);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    const std::vector<UTLData> inputs = {
        bytesOf("x"), bytesOf("{\"heartbeats\":[],\"version\":2}"), noise,
        UTLData(3 * 1024 * 1024, 'a'),  // many output chunks when inflating
    };
    for (const auto& input : inputs) {
        ErrorRef error;
        const auto gzipped = UTLGzip::dataByGzippingData(input, &error);
        ASSERT_TRUE(gzipped) << input.size();
        EXPECT_FALSE(error);
        ASSERT_GE(gzipped->size(), 2u);
        EXPECT_EQ((*gzipped)[0], 0x1f);
        EXPECT_EQ((*gzipped)[1], 0x8b);
        const auto inflated = UTLGzip::dataByInflatingGzippedData(*gzipped, &error);
        ASSERT_TRUE(inflated) << input.size();
        EXPECT_FALSE(error);
        EXPECT_EQ(*inflated, input);
    }
}

TEST(UTLGzipTest, InflatesTheZlibFormatToo) {
    const UTLData input = bytesOf("zlib wrapped");
    uLongf size = compressBound(input.size());
    UTLData zlibbed(size);
    ASSERT_EQ(compress(zlibbed.data(), &size, input.data(), input.size()), Z_OK);
    zlibbed.resize(size);
    ErrorRef error;
    EXPECT_EQ(UTLGzip::dataByInflatingGzippedData(zlibbed, &error), input);
}

TEST(UTLGzipTest, EmptyInputGivesNothingAndNoError) {
    ErrorRef error = Error::make("stale", 1);
    EXPECT_FALSE(UTLGzip::dataByGzippingData({}, &error));
    EXPECT_FALSE(error);
    error = Error::make("stale", 1);
    EXPECT_FALSE(UTLGzip::dataByInflatingGzippedData({}, &error));
    EXPECT_FALSE(error);
}

TEST(UTLGzipTest, BrokenStreamsFailWithTheirCode) {
    ErrorRef error;
    const auto gzipped = *UTLGzip::dataByGzippingData(bytesOf("some heartbeat text"), &error);

    UTLData trailing = gzipped;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
    EXPECT_FALSE(UTLGzip::dataByInflatingGzippedData(trailing, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "com.beacon.UTLNSDataZlibErrorDomain");
    EXPECT_EQ(error->code(), 1026);
    EXPECT_EQ(error->userInfo()["UTLNSDataZlibRemainingBytesKey"], 5);

    const UTLData truncated(gzipped.begin(), gzipped.end() - 6);
    EXPECT_FALSE(UTLGzip::dataByInflatingGzippedData(truncated, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1025);
    EXPECT_EQ(error->userInfo()["UTLNSDataZlibErrorKey"], Z_BUF_ERROR);

    EXPECT_FALSE(UTLGzip::dataByInflatingGzippedData(bytesOf("not compressed at all"), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1025);
    EXPECT_EQ(error->userInfo()["UTLNSDataZlibErrorKey"], Z_DATA_ERROR);
    EXPECT_TRUE(error->userInfo().contains(Error::kDescriptionKey));  // zlib's own message
}

TEST(UTLGzipTest, InflatedOutputBeyondTheCapIsAnError) {
    ErrorRef error;
    const auto bomb = *UTLGzip::dataByGzippingData(UTLData(1024 * 1024, 0), &error);
    EXPECT_FALSE(UTLGzip::dataByInflatingGzippedData(bomb, &error, 64 * 1024));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1024);
    EXPECT_TRUE(UTLGzip::dataByInflatingGzippedData(bomb, &error, 1024 * 1024));
}

TEST(UTLGzipTest, InputTooLargeForZlibsCountersIsAnErrorBothWays) {
    // 4 GiB of untouched address space: never read, since the size is refused first.
    const std::size_t size = (std::size_t{1} << 32) + 1;
    void* memory =
        ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) GTEST_SKIP() << "no address space for 4 GiB";
    const std::span<const std::uint8_t> huge(static_cast<const std::uint8_t*>(memory), size);
    ErrorRef error;
    EXPECT_FALSE(UTLGzip::dataByGzippingData(huge, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1024);
    error.reset();
    EXPECT_FALSE(UTLGzip::dataByInflatingGzippedData(huge, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1024);
    ::munmap(memory, size);
}

}  // namespace
}  // namespace pex
