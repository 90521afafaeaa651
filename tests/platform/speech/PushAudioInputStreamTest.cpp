#include "platform/speech/PushAudioInputStream.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

#include "platform/speech/DemoScript.h"
#include "platform/speech/SpeechBackend.h"
#include "platform/speech/SpeechConfiguration.h"

namespace pex {
namespace {

TEST(PushAudioInputStreamTest, BytesComeOutInOrderAcrossTheRingEnd) {
    PushAudioInputStream stream(AudioStreamFormat::pcm(400, 8, 1));  // room for 4096 bytes
    std::vector<std::uint8_t> sent(3000);
    std::vector<std::uint8_t> out(3000);
    for (int round = 0; round < 3; ++round) {  // the second and third rounds wrap around
        std::iota(sent.begin(), sent.end(), static_cast<std::uint8_t>(round * 50));
        stream.write(sent);
        ASSERT_EQ(stream.read(out), sent.size());
        EXPECT_EQ(out, sent);
    }
    EXPECT_EQ(stream.droppedBytes(), 0u);
}

TEST(PushAudioInputStreamTest, ReaderOnAnotherThreadGetsEverythingThenTheEnd) {
    PushAudioInputStream stream;
    std::vector<std::uint8_t> sent(64'000);
    std::iota(sent.begin(), sent.end(), 0);
    std::vector<std::uint8_t> received;
    std::thread reader([&] {
        std::uint8_t chunk[333];
        while (const std::size_t n = stream.read(chunk)) {
            received.insert(received.end(), chunk, chunk + n);
        }
    });
    for (std::size_t at = 0; at < sent.size(); at += 640) {
        stream.write(std::span(sent).subspan(at, 640));
    }
    stream.close();
    reader.join();
    EXPECT_EQ(received, sent);
}

TEST(PushAudioInputStreamTest, FullBufferDropsWhatDoesNotFitAndWritesAfterCloseAreIgnored) {
    PushAudioInputStream stream(AudioStreamFormat::pcm(400, 8, 1));  // 4096 bytes
    const std::vector<std::uint8_t> bytes(5000, 7);
    stream.write(bytes);
    EXPECT_EQ(stream.droppedBytes(), 5000u - 4096u);
    stream.close();
    stream.write(bytes);
    std::vector<std::uint8_t> out(8192);
    EXPECT_EQ(stream.read(out), 4096u);
    EXPECT_EQ(stream.read(out), 0u);
}

TEST(PushAudioInputStreamTest, StopRequestWakesAWaitingReader) {
    PushAudioInputStream stream;
    std::jthread reader([&](std::stop_token stop) {
        std::uint8_t chunk[64];
        EXPECT_EQ(stream.read(chunk, stop), 0u);
    });
    reader.request_stop();
}

TEST(DemoScriptTest, PrefixesCountCharactersForChineseAndWordsOtherwise) {
    EXPECT_EQ(DemoScript::prefix("请先介绍。", 2), "请先");
    EXPECT_EQ(DemoScript::unitCount("请先介绍。"), 5u);
    EXPECT_EQ(DemoScript::prefix("Please briefly introduce yourself.", 2), "Please briefly");
    EXPECT_EQ(DemoScript::prefix("Please", 9), "Please");
    EXPECT_EQ(DemoScript::primaryLanguage("zh-CN"), "zh");
    EXPECT_EQ(DemoScript::primaryLanguage("EN_us"), "en");
}

TEST(SpeechBackendTest, UnknownBackendNameFailsConfigurationWithItsName) {
    ::setenv("PEXMORA_SPEECH_BACKEND", "nowhere", 1);
    SpeechBackend::setCurrent(nullptr);
    const auto result = SpeechConfiguration::fromAuthorizationToken("t", "r");
    ::unsetenv("PEXMORA_SPEECH_BACKEND");
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->localizedDescription, "no speech backend named \"nowhere\"");

    const auto demo = SpeechConfiguration::fromAuthorizationToken("t", "r");  // the build default
    EXPECT_TRUE(demo.configuration);
    EXPECT_TRUE(SpeechConfiguration::fromAuthorizationToken("", "r").error);
}

}  // namespace
}  // namespace pex
