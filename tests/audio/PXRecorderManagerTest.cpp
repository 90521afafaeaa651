#include "audio/PXRecorderManager.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "platform/foundation/StandardFolders.h"
#include "purchase/ConsoleCapture.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using test::ConsoleCapture;
using test::runMainUntil;

struct FileContents {
    bool opened = false;
    int format = 0;
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;
};

FileContents readBack(const std::filesystem::path& path) {
    FileContents contents;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return contents;
    contents.opened = true;
    contents.format = info.format;
    contents.sampleRate = info.samplerate;
    contents.channels = info.channels;
    contents.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, contents.samples.data(), info.frames);
    sf_close(file);
    return contents;
}

FakeCaptureDevice::Buffer frameOfSamples(const std::vector<std::int16_t>& values) {
    FakeCaptureDevice::Buffer frame(kVoiceFrameBytes);
    for (std::size_t i = 0; i < kVoiceFrameBytes / 2; ++i) {
        const std::int16_t value = values[i % values.size()];
        frame[2 * i] = static_cast<std::uint8_t>(value & 0xff);
        frame[2 * i + 1] = static_cast<std::uint8_t>((value >> 8) & 0xff);
    }
    return frame;
}

std::vector<FakeCaptureDevice::Buffer> frames(int count, std::int16_t value = 100) {
    return std::vector<FakeCaptureDevice::Buffer>(static_cast<std::size_t>(count),
                                                  frameOfSamples({value}));
}

class PXRecorderManagerTest : public test::IsolatedTest {
  protected:
    std::filesystem::path documents() const { return StandardFolders::documents(); }

    void recordScript(const std::string& name, std::vector<FakeCaptureDevice::Buffer> script) {
        device->setScript(std::move(script));
        manager.start(name);
        ASSERT_TRUE(device->waitUntilScriptDelivered());
    }
    // Lets the writes queued so far reach the file: `stop` drops what is still queued.
    void writeQueued() {
        manager.writeQueue().sync([] {});
    }
    // Holds the write queue until the returned promise is kept, as a stalled disk would.
    std::promise<void> holdWriteQueue() {
        std::promise<void> release;
        manager.writeQueue().async([future = release.get_future().share()] { future.wait(); });
        return release;
    }

    std::shared_ptr<FakeCaptureDevice> device = FakeCaptureDevice::install();
    PXRecorderManager manager;
};

TEST_F(PXRecorderManagerTest, RecordingFileIsPrivateFloatMono16kHzScaledAndClamped) {
    ConsoleCapture console;
    recordScript("AI面试250101_120000.wav", {frameOfSamples({16384, -32768, 32767, 0, -16384})});
    writeQueued();
    manager.stop();

    const auto path = documents() / "AI面试250101_120000.wav";
    const FileContents file = readBack(path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(file.sampleRate, 16000);
    EXPECT_EQ(file.channels, 1);
    ASSERT_EQ(file.samples.size(), 320u);
    EXPECT_NEAR(file.samples[0], 0.50002f, 1e-5);
    EXPECT_EQ(file.samples[1], -1.0f);
    EXPECT_EQ(file.samples[2], 1.0f);
    EXPECT_EQ(file.samples[3], 0.0f);
    EXPECT_NEAR(file.samples[4], -0.50002f, 1e-5);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    EXPECT_EQ(console.linesStartingWith("文件写入开始：" + path.string()), 1);
    EXPECT_EQ(console.linesStartingWith("录音结束，文件保存：" + path.string()), 1);
    EXPECT_FALSE(manager.audioFile());
    ASSERT_TRUE(runMainUntil([&] {
        return console.linesStartingWith("开始采集录音") == 1 &&
               console.linesStartingWith("结束采集录音") == 1;
    }));
}

TEST_F(PXRecorderManagerTest, EveryFrameReachesTheHandlerAndStopDropsTheQueuedWrites) {
    std::atomic<int> handled{0};
    std::atomic<bool> sizesRight{true};
    manager.setAudioDataSubject([&](std::span<const std::uint8_t> frame) {
        sizesRight = sizesRight && frame.size() == kVoiceFrameBytes;
        ++handled;
    });
    // The write in progress when stop begins is held: stop waits for it, not for the backlog.
    std::promise<void> release = holdWriteQueue();
    recordScript("held.wav", frames(200));
    std::thread releaser([&] {
        // The file is let go once stop has stopped the recorder and turned the backlog away.
        while (manager.audioFile()) std::this_thread::yield();
        release.set_value();
    });
    manager.stop();
    releaser.join();

    EXPECT_EQ(handled.load(), 200);
    EXPECT_TRUE(sizesRight.load());
    EXPECT_EQ(readBack(documents() / "held.wav").samples.size(), 0u);
    EXPECT_EQ(manager.droppedFrames(), 0u);  // dropped at stop, not for want of room
}

TEST_F(PXRecorderManagerTest, FullWriteQueueLeavesNewFramesOutWithOneCountedLine) {
    ConsoleCapture console;
    std::atomic<int> handled{0};
    manager.setAudioDataSubject([&](std::span<const std::uint8_t>) { ++handled; });
    std::promise<void> release = holdWriteQueue();
    const int overflow = 10;
    recordScript("stalled.wav", frames(PXRecorderManager::kMaxQueuedWrites + overflow));
    EXPECT_EQ(handled.load(), PXRecorderManager::kMaxQueuedWrites + overflow);  // recognition
    EXPECT_EQ(manager.droppedFrames(), static_cast<std::uint64_t>(overflow));
    EXPECT_EQ(console.linesStartingWith("⚠️ 录音文件写入跟不上"),
              0);  // told once it is over

    release.set_value();
    writeQueued();
    ASSERT_TRUE(device->push(frames(1).front()));  // room again
    ASSERT_TRUE(device->push(frames(1).front()));
    writeQueued();
    manager.stop();

    EXPECT_EQ(console.linesStartingWith(
                  "⚠️ 录音文件写入跟不上，已丢弃 10 帧（200 毫秒）"),
              1);
    EXPECT_EQ(console.linesStartingWith("⚠️"), 1);
    EXPECT_EQ(readBack(documents() / "stalled.wav").samples.size(),
              (PXRecorderManager::kMaxQueuedWrites + 2u) * 320u);
}

TEST_F(PXRecorderManagerTest, FileThatCannotBeOpenedLeavesNoFileAndNeverWritesTheEarlierOne) {
    recordScript("first.wav", frames(3));
    std::filesystem::create_directories(documents() / "taken.wav");  // a folder: cannot be opened
    std::atomic<int> handled{0}, reported{0};
    auto countFrame = [&](std::span<const std::uint8_t>) { ++handled; };
    auto countFailure = [&](const std::string&) { ++reported; };
    ConsoleCapture console;

    for (const std::string name : {"taken.wav", "../escape.wav", ""}) {
        SCOPED_TRACE(name);
        // While recording: the old file is let go.
        manager.start(name, countFrame, nullptr, countFailure);
        EXPECT_FALSE(manager.audioFile());
        ASSERT_TRUE(device->push(frames(1).front()));
    }
    writeQueued();
    manager.stop();

    EXPECT_EQ(console.linesStartingWith("文件创建失败："), 3);
    EXPECT_EQ(reported.load(), 3);  // each recording that has no file is told so
    EXPECT_EQ(handled.load(), 3);   // recognition still gets the audio
    EXPECT_EQ(readBack(documents() / "first.wav").samples.size(), 3u * 320u);
    EXPECT_FALSE(std::filesystem::exists(root() / "home" / "escape.wav"));
}

// A disk that fills up mid-recording fails every later frame: the owner hears of it once and
// the console gets one line, not one per frame; what was written before stays a valid file.
TEST_F(PXRecorderManagerTest, WritesFailingOnAFullDiskAreReportedOnceAndTheFileKeepsItsStart) {
    ConsoleCapture console;
    std::atomic<int> reports{0};
    std::atomic<bool> onWriteQueue{true};
    std::string reported;
    constexpr int kFrames = 60;
    device->setScript(frames(kFrames, 8192));
    {
        // Room for the header and about twenty frames of 1280 bytes.
        test::FileSizeLimit fullDisk(26 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        manager.start("full.wav", nullptr, nullptr, [&](const std::string& description) {
            onWriteQueue = onWriteQueue && manager.writeQueue().isCurrent();
            reported = description;
            ++reports;
        });
        ASSERT_TRUE(device->waitUntilScriptDelivered());
        writeQueued();
    }
    manager.stop();

    EXPECT_EQ(reports.load(), 1);
    EXPECT_TRUE(onWriteQueue.load());
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(console.linesStartingWith("写文件失败: " + reported), 1);
    EXPECT_EQ(console.linesStartingWith("写文件失败"), 2);  // the first, and the count at close
    const FileContents file = readBack(documents() / "full.wav");
    ASSERT_TRUE(file.opened);
    EXPECT_GE(file.samples.size(), 15u * 320u);
    EXPECT_LT(file.samples.size(), static_cast<std::size_t>(kFrames) * 320u);
    EXPECT_TRUE(std::all_of(file.samples.begin(), file.samples.end(),
                            [](float sample) { return std::abs(sample - 0.25f) < 1e-3f; }));
    const int failed = kFrames - static_cast<int>(file.samples.size() / 320);
    EXPECT_EQ(console.linesStartingWith("写文件失败共 " + std::to_string(failed) + " 帧"), 1);
}

TEST_F(PXRecorderManagerTest, SecondStartSendsLaterFramesToTheNewFileOnly) {
    recordScript("one.wav", frames(10, 1000));
    ConsoleCapture console;
    manager.start("two.wav");
    EXPECT_EQ(console.linesStartingWith("in recorder _start, state has started!"), 1);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(device->push(frames(1, -1000).front()));
    writeQueued();
    manager.stop();

    const FileContents one = readBack(documents() / "one.wav");
    const FileContents two = readBack(documents() / "two.wav");
    EXPECT_EQ(one.samples.size(), 10u * 320u);
    ASSERT_EQ(two.samples.size(), 5u * 320u);
    EXPECT_GT(one.samples.back(), 0.0f);
    EXPECT_LT(two.samples.front(), 0.0f);
}

TEST_F(PXRecorderManagerTest, NewSessionAfterStopRecordsIntoItsOwnFile) {
    recordScript("a.wav", frames(4));
    writeQueued();
    manager.stop();
    recordScript("b.wav", frames(6));
    writeQueued();
    manager.stop();
    EXPECT_EQ(readBack(documents() / "a.wav").samples.size(), 4u * 320u);
    EXPECT_EQ(readBack(documents() / "b.wav").samples.size(), 6u * 320u);
    EXPECT_EQ(manager.outputFileURL(), documents() / "b.wav");
}

TEST_F(PXRecorderManagerTest, ClearedHandlerIsNotCalledForLaterFrames) {
    std::atomic<int> handled{0};
    manager.setAudioDataSubject([&](std::span<const std::uint8_t>) { ++handled; });
    recordScript("c.wav", frames(2));
    manager.setAudioDataSubject(nullptr);
    EXPECT_FALSE(manager.hasAudioDataSubject());
    ASSERT_TRUE(device->push(frames(1).front()));
    manager.stop();
    EXPECT_EQ(handled.load(), 2);
}

// The last session's stop can arrive from a background queue after the next session started:
// it must leave the new recording, its file and its handlers alone.
TEST_F(PXRecorderManagerTest, StopOfAnEarlierRecordingLeavesTheOneThatTookOverRunning) {
    std::atomic<int> first{0}, second{0};
    device->setScript(frames(2));
    const auto a = manager.start(
        "a.wav", [&](std::span<const std::uint8_t>) { ++first; }, nullptr);
    ASSERT_TRUE(device->waitUntilScriptDelivered());
    const auto b = manager.start(
        "b.wav", [&](std::span<const std::uint8_t>) { ++second; }, [](const std::string&) {});
    EXPECT_NE(a, b);

    EXPECT_FALSE(manager.stop(a));
    EXPECT_TRUE(manager.recorder().isStarted());
    EXPECT_TRUE(manager.hasAudioDataSubject());
    EXPECT_TRUE(manager.hasCaptureFailureHandler());
    ASSERT_TRUE(manager.audioFile());
    EXPECT_EQ(manager.audioFile()->url(), documents() / "b.wav");
    ASSERT_TRUE(device->push(frames(1).front()));
    writeQueued();

    EXPECT_TRUE(manager.stop(b));
    EXPECT_FALSE(manager.stop(b));  // once only
    EXPECT_FALSE(manager.recorder().isStarted());
    EXPECT_FALSE(manager.hasAudioDataSubject());
    EXPECT_FALSE(manager.hasCaptureFailureHandler());
    EXPECT_EQ(first.load(), 2);
    EXPECT_EQ(second.load(), 1);
    EXPECT_EQ(readBack(documents() / "b.wav").samples.size(), 320u);
}

// A stop held up by a stalled disk waits for the write in progress outside the manager's lock:
// the next session starts at once, and the old stop, once it goes on, leaves that one alone.
TEST_F(PXRecorderManagerTest, StopHeldByAStalledWriteNeitherHoldsUpNorEndsTheNextRecording) {
    std::atomic<int> second{0};
    std::promise<void> release = holdWriteQueue();
    const auto a = manager.start(
        "a.wav", [](std::span<const std::uint8_t>) {}, nullptr);
    ASSERT_TRUE(device->push(frames(1).front()));
    std::thread oldStop([&] { manager.stop(a); });
    while (manager.recorder().isStarted() || manager.audioFile()) std::this_thread::yield();

    // Deadlock guard only: a start that waited for the held stop would never return.
    auto started = std::async(std::launch::async, [&] {
        return manager.start(
            "b.wav", [&](std::span<const std::uint8_t>) { ++second; }, nullptr);
    });
    if (started.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        release.set_value();
        oldStop.join();
        FAIL() << "the next start waited for the held stop";
    }
    const auto b = started.get();
    ASSERT_TRUE(device->push(frames(1).front()));
    release.set_value();
    oldStop.join();

    EXPECT_TRUE(manager.recorder().isStarted());
    EXPECT_TRUE(manager.hasAudioDataSubject());
    ASSERT_TRUE(manager.audioFile());
    EXPECT_EQ(manager.audioFile()->url(), documents() / "b.wav");
    ASSERT_TRUE(device->push(frames(1).front()));
    writeQueued();
    EXPECT_TRUE(manager.stop(b));
    EXPECT_EQ(second.load(), 2);
    EXPECT_EQ(readBack(documents() / "a.wav").samples.size(), 0u);  // dropped at its stop
    EXPECT_EQ(readBack(documents() / "b.wav").samples.size(), 2u * 320u);
}

TEST_F(PXRecorderManagerTest, CaptureFailureIsLogged) {
    device->failStart(AudioQueueError{-3, "连接断开"});
    ConsoleCapture console;
    manager.start("d.wav");
    ASSERT_TRUE(
        runMainUntil([&] { return console.linesStartingWith("采集录音失败：连接断开") == 1; }));
    manager.stop();
}

}  // namespace
}  // namespace pex
