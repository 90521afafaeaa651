#include "BeaconTransport/TXPLibrary/TXPLog.h"

#include <gtest/gtest.h>

#include "TXPLogCapture.h"

namespace pex {
namespace {

TEST(TXPLogTest, MessageCodesAreZeroPaddedToSixDigits) {
    EXPECT_EQ(TXPMessageCodeText(5), "I-TXP000005");
    EXPECT_EQ(TXPMessageCodeText(1000), "I-TXP001000");
    EXPECT_EQ(TXPMessageCodeText(123456), "I-TXP123456");
}

TEST(TXPLogTest, OnlyErrorsArePrinted) {
    test::TXPLogCapture capture;
    TXPConsoleLog(0, TXPLogLevelDebug, "debug line");
    TXPConsoleLog(4, TXPLogLevelWarning, "warning line");
    TXPLogDebug(0, "macro debug line");
    TXPConsoleLog(1000, TXPLogLevelError, "Transformer doesn't implement transformTXEvent: x");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0],
              "[BeaconTransport][I-TXP001000] Transformer doesn't implement transformTXEvent: x");
}

TEST(TXPLogTest, AFailedAssertionPrintsWhateverTheLevelAndTheCallerGoesOn) {
    test::TXPLogCapture capture;
    bool wentOn = false;
    TXPAssert(1 + 1 == 3, "A target cannot be negative or 0");
    wentOn = true;
    TXPAssert(true, "never printed");
    EXPECT_TRUE(wentOn);
    ASSERT_EQ(capture.lines().size(), 1u);
    const std::string line = capture.lines()[0];
    EXPECT_TRUE(line.starts_with("[BeaconTransport][I-TXP001006] (")) << line;
    EXPECT_NE(line.find("TXPLogTest.cpp:"), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with(") : A target cannot be negative or 0")) << line;
}

TEST(TXPLogTest, AFatalAssertionLineCarriesItsOwnCode) {
    test::TXPLogCapture capture;
    TXPAssertionLog(true, "File.cpp", 7, "broken");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "[BeaconTransport][I-TXP001007] (File.cpp:7) : broken");
}

TEST(TXPLogTest, AnInstalledAssertHelperRunsInPlaceOfTheLine) {
    test::TXPLogCapture capture;
    std::string seen;
    TXPSetAssertHelperBlock([&](const std::string& message) { seen = message; });
    TXPAssert(false, "Please give a valid mapping ID");
    TXPSetAssertHelperBlock(nullptr);
    EXPECT_EQ(seen, "Please give a valid mapping ID");
    EXPECT_TRUE(capture.lines().empty());
}

}  // namespace
}  // namespace pex
