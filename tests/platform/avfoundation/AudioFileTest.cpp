// A recording file stays a valid file while it is written: a process that dies in the middle of
// a recording (killed, crashed) leaves every frame it wrote readable, with header sizes that
// strict readers accept.
#include "platform/avfoundation/AudioFile.h"

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

constexpr std::size_t kFrameSamples = 320;  // 20 ms at 16 kHz
constexpr int kFrames = 40;

float sampleAt(std::size_t index) {
    return static_cast<float>(index % 200) / 200.0f - 0.5f;
}

std::uint32_t littleEndian32(const std::vector<char>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// Writes `frames` frames and ends the process without closing the file, as a kill would.
void writeThenDie(const std::filesystem::path& path, int frames) {
    auto opened = AudioFile::openForWriting(path, AudioFormat{16000.0, 1});
    if (!opened.file) ::_exit(2);
    std::vector<float> frame(kFrameSamples);
    for (int n = 0; n < frames; ++n) {
        for (std::size_t i = 0; i < kFrameSamples; ++i) frame[i] = sampleAt(n * kFrameSamples + i);
        if (opened.file->write(frame)) ::_exit(3);
    }
    ::_exit(0);
}

TEST(AudioFileTest, AWavFileOfAProcessThatDiedWhileRecordingHoldsEveryFrameWritten) {
    TempDir dir;
    const auto path = dir.path() / "killed.wav";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) writeThenDie(path, kFrames);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.frames, kFrames * static_cast<sf_count_t>(kFrameSamples));
    EXPECT_EQ(info.samplerate, 16000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::vector<float> samples(static_cast<std::size_t>(info.frames) + 1);
    ASSERT_EQ(sf_readf_float(file, samples.data(), info.frames + 1), info.frames);
    sf_close(file);
    for (std::size_t i = 0; i < static_cast<std::size_t>(info.frames); ++i) {
        ASSERT_FLOAT_EQ(samples[i], sampleAt(i)) << "sample " << i;
    }

    // Strict readers trust the sizes: the RIFF chunk spans the whole file and the data chunk
    // holds exactly the samples and ends where the file ends.
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GE(bytes.size(), 12u);
    ASSERT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(littleEndian32(bytes, 4), bytes.size() - 8);
    ASSERT_EQ(std::memcmp(bytes.data() + 8, "WAVE", 4), 0);
    std::size_t at = 12;
    bool sawData = false;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = littleEndian32(bytes, at + 4);
        if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            sawData = true;
            EXPECT_EQ(size, kFrames * kFrameSamples * sizeof(float));
            EXPECT_EQ(at + 8 + size, bytes.size());
            break;
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(sawData);
}

// A disk that fills up: every write from the first short one fails until there is room again,
// nothing already written is overwritten, and writing goes on at the end once room returns.
TEST(AudioFileTest, OnAFullDiskWritesFailUntilThereIsRoomAndNeverOverwriteTheStart) {
    TempDir dir;
    const auto path = dir.path() / "full.wav";
    auto frameOf = [](int n) { return std::vector<float>(kFrameSamples, (n + 1) / 64.0f); };
    std::optional<int> firstFailed;
    {
        auto opened = AudioFile::openForWriting(path, AudioFormat{16000.0, 1});
        ASSERT_TRUE(opened.file);
        {
            FileSizeLimit fullDisk(16 * 1024);  // about twelve frames
            ASSERT_TRUE(fullDisk.isActive());
            for (int n = 0; n < kFrames; ++n) {
                const bool failed = opened.file->write(frameOf(n)).has_value();
                if (failed && !firstFailed) firstFailed = n;
                EXPECT_EQ(failed, firstFailed.has_value()) << "frame " << n;
            }
        }
        for (int n = 0; n < 3; ++n) EXPECT_FALSE(opened.file->write(frameOf(kFrames + n)));
    }
    ASSERT_TRUE(firstFailed);
    ASSERT_GT(*firstFailed, 5);

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(info.frames));
    ASSERT_EQ(sf_readf_float(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    const std::size_t kept = static_cast<std::size_t>(*firstFailed) * kFrameSamples;
    const std::size_t resumed = 3 * kFrameSamples;
    ASSERT_GE(samples.size(), kept + resumed);
    EXPECT_LT(samples.size(), kept + kFrameSamples + resumed);  // at most part of one frame more
    for (std::size_t i = 0; i < kept; ++i) {
        ASSERT_EQ(samples[i], (static_cast<int>(i / kFrameSamples) + 1) / 64.0f) << "sample " << i;
    }
    const std::size_t tail = samples.size() - resumed;
    for (std::size_t i = 0; i < resumed; ++i) {
        ASSERT_EQ(samples[tail + i], (kFrames + static_cast<int>(i / kFrameSamples) + 1) / 64.0f)
            << "resumed sample " << i;
    }
}

}  // namespace
}  // namespace pex::test
