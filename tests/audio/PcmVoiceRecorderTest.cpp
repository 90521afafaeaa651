#include "audio/PcmVoiceRecorder.h"

#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "audio/RecorderFixture.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "purchase/ConsoleCapture.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using test::ConsoleCapture;
using test::RecordingDelegate;
using test::runMainUntil;

class PcmVoiceRecorderTest : public ::testing::Test {
  protected:
    PcmVoiceRecorderTest() { recorder.setDelegate(&delegate); }

    std::shared_ptr<FakeCaptureDevice> device = FakeCaptureDevice::install();
    RecordingDelegate delegate;
    PcmVoiceRecorder recorder;
};

// One 640-byte frame of a constant sample value.
FakeCaptureDevice::Buffer constantFrame(std::int16_t value) {
    FakeCaptureDevice::Buffer frame(kVoiceFrameBytes);
    for (std::size_t i = 0; i < frame.size(); i += 2) {
        frame[i] = static_cast<std::uint8_t>(value & 0xff);
        frame[i + 1] = static_cast<std::uint8_t>((value >> 8) & 0xff);
    }
    return frame;
}

TEST_F(PcmVoiceRecorderTest, BuffersOfAnySizeComeOutAsWhole640ByteFramesInOrder) {
    const std::vector<std::vector<std::size_t>> cases{
        {640},
        {320, 320},
        {1000},
        {1300},
        {4096},
        std::vector<std::size_t>(1281, 1),
        {640, 320, 1000, 1300, 4096, 1},
    };
    for (const auto& sizes : cases) {
        SCOPED_TRACE(::testing::PrintToString(sizes));
        RecordingDelegate heard;
        recorder.setDelegate(&heard);
        const auto script = FakeCaptureDevice::countingBuffers(sizes);
        device->setScript(script);
        recorder.start();
        ASSERT_TRUE(device->waitUntilScriptDelivered());
        recorder.stop(false);

        std::vector<std::uint8_t> sent;
        for (const auto& buffer : script) sent.insert(sent.end(), buffer.begin(), buffer.end());
        const std::size_t whole = sent.size() / kVoiceFrameBytes;
        EXPECT_EQ(heard.frames(), static_cast<int>(whole));
        sent.resize(whole * kVoiceFrameBytes);  // the partial frame at the end stays buffered
        EXPECT_EQ(heard.bytes(), sent);
        recorder.setDelegate(&delegate);
    }
}

TEST_F(PcmVoiceRecorderTest, PartialFrameIsDroppedAtStopAndNotCarriedIntoTheNextStart) {
    device->setScript(FakeCaptureDevice::countingBuffers({1000}));
    recorder.start();
    ASSERT_TRUE(device->waitUntilScriptDelivered());
    recorder.stop(false);
    device->setScript({constantFrame(7)});
    recorder.start();
    ASSERT_TRUE(device->waitUntilScriptDelivered());
    recorder.stop(false);

    const auto bytes = delegate.bytes();
    ASSERT_EQ(bytes.size(), 2 * kVoiceFrameBytes);
    const auto second = constantFrame(7);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), bytes.begin() + kVoiceFrameBytes));
}

TEST_F(PcmVoiceRecorderTest, StartTwiceLogsAndKeepsTheRunningCapture) {
    ConsoleCapture console;
    recorder.start();
    recorder.start();
    EXPECT_EQ(console.linesStartingWith("in recorder _start, state has started!"), 1);
    EXPECT_EQ(device->queuesCreated(), 1);
    EXPECT_TRUE(recorder.isStarted());
    ASSERT_TRUE(runMainUntil([&] { return delegate.starts() == 1; }));
    recorder.stop(true);
}

TEST_F(PcmVoiceRecorderTest, StopTwiceNotifiesOnceOnTheMainQueue) {
    ConsoleCapture console;
    recorder.start();
    recorder.stop(true);
    recorder.stop(true);
    ASSERT_TRUE(runMainUntil([&] { return delegate.stops() == 1; }));
    EXPECT_FALSE(runMainUntil([&] { return delegate.stops() > 1; }, std::chrono::milliseconds(50)));
    EXPECT_EQ(console.linesStartingWith("in recorder stop, state has stopped!"), 1);
    EXPECT_EQ(recorder.state(), PcmVoiceRecorder::Stopped);
    EXPECT_TRUE(delegate.messagesOnMain());
}

TEST_F(PcmVoiceRecorderTest, StopBeforeAnyStartMovesToStoppedAndStartsAgainLater) {
    recorder.stop(true);
    EXPECT_EQ(recorder.state(), PcmVoiceRecorder::Stopped);
    ASSERT_TRUE(runMainUntil([&] { return delegate.stops() == 1; }));
    device->setScript({constantFrame(1)});
    recorder.start();
    EXPECT_TRUE(recorder.isStarted());
    ASSERT_TRUE(device->waitUntilScriptDelivered());
    EXPECT_EQ(delegate.frames(), 1);
    recorder.stop(false);
}

TEST_F(PcmVoiceRecorderTest, BufferArrivingWhileStoppingIsRefusedWithAWarning) {
    ConsoleCapture console;
    device->deliverDuringStop(FakeCaptureDevice::Buffer(640, 9));
    recorder.start();
    recorder.stop(false);
    EXPECT_EQ(console.linesStartingWith(
                  "WARN: - recorder is stopped, ignoring the callback data 640 bytes"),
              1);
    EXPECT_EQ(delegate.frames(), 0);
}

TEST_F(PcmVoiceRecorderTest, LevelChangesOnlyOnEveryFourthFrame) {
    recorder.start();
    std::vector<std::uint64_t> volumes;
    for (int i = 0; i < 16; ++i) {
        // Every frame is louder than the one before, so each reading would differ.
        const auto frame = constantFrame(static_cast<std::int16_t>(600 * (i + 1)));
        ASSERT_TRUE(device->push(frame));
        volumes.push_back(recorder.currentVoiceVolume());
    }
    recorder.stop(false);

    std::vector<int> changes;
    for (int i = 1; i < static_cast<int>(volumes.size()); ++i) {
        if (volumes[i] != volumes[i - 1]) changes.push_back(i);
    }
    ASSERT_GE(changes.size(), 3u);
    for (std::size_t i = 1; i < changes.size(); ++i) EXPECT_EQ(changes[i] - changes[i - 1], 4);
    // A constant sample of 9600 is about -10.7 dBFS: (−10.7 + 50) × 2 ≈ 78.
    EXPECT_NEAR(static_cast<double>(volumes.back()), 78.0, 12.0);
}

TEST_F(PcmVoiceRecorderTest, SilenceBelowTheMeterFloorReadsZero) {
    recorder.start();
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(device->push(constantFrame(0)));
    EXPECT_EQ(recorder.currentVoiceVolume(), 0u);
    recorder.stop(false);
}

TEST_F(PcmVoiceRecorderTest, CaptureThatCannotStartOrDiesIsReportedAsFailure) {
    struct Case {
        const char* name;
        std::function<void(FakeCaptureDevice&)> arrange;
        const char* logLine;  // expected console line, or null
        bool staysStarted;
    };
    const AudioQueueError error{-5, "no sound server"};
    const std::vector<Case> cases{
        {"create", [&](FakeCaptureDevice& d) { d.failCreate(error); }, nullptr, false},
        {"start", [&](FakeCaptureDevice& d) { d.failStart(error); }, "AudioQueueStart error -5",
         false},
        {"dies", [&](FakeCaptureDevice& d) { d.failAfterScript(error); }, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto local = FakeCaptureDevice::install();
        c.arrange(*local);
        RecordingDelegate heard;
        PcmVoiceRecorder failing;
        failing.setDelegate(&heard);
        ConsoleCapture console;
        failing.start();
        const int starts = c.staysStarted ? 1 : 0;
        ASSERT_TRUE(
            runMainUntil([&] { return !heard.failures().empty() && heard.starts() == starts; }));
        EXPECT_EQ(heard.failures(), std::vector<std::string>{"no sound server"});
        EXPECT_EQ(failing.isStarted(), c.staysStarted);
        if (c.logLine) {
            EXPECT_EQ(console.linesStartingWith(c.logLine), 1);
        }
        EXPECT_TRUE(heard.messagesOnMain());
        failing.stop(false);
    }
}

}  // namespace
}  // namespace pex
