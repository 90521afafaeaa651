// The demo speech backend behind the speech recognition tool, fed by the fake capture device:
// a tone burst between silences becomes one sentence of the script.
#include <gtest/gtest.h>

#include "audio/SpeechFixture.h"
#include "platform/speech/DemoSpeechBackend.h"

namespace pex {
namespace {

using test::runMainUntil;
using test::voiceFrames;

class DemoRecognitionTest : public test::SpeechToolTest {
  protected:
    DemoRecognitionTest() { SpeechBackend::setCurrent(std::make_shared<DemoSpeechBackend>()); }

    void record(bool translation) {
        std::vector<FakeCaptureDevice::Buffer> script = voiceFrames(10, false);
        // One second of sound.
        for (auto& frame : voiceFrames(50, true)) script.push_back(std::move(frame));
        for (auto& frame : voiceFrames(30, false)) script.push_back(std::move(frame));
        capture->setScript(std::move(script));
        makeTool();
        tool->method = translation ? 1 : 0;
        if (translation) {
            tool->setupTranslationRecognizer("zh-CN", "en");
        } else {
            tool->setupRecognizer("en-US");
        }
        tool->startRecording();
        tool->isRecognizing = true;
    }

    bool sawFinal(const std::string& prefix) {
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
    }
};

TEST_F(DemoRecognitionTest, ToneBurstBecomesOneSentenceGrowingThenFinalWithTranslation) {
    record(true);
    ASSERT_TRUE(runMainUntil([&] { return sawFinal("tresult:"); }));
    // The silence after the burst has been heard too: nothing more arrives.
    ASSERT_TRUE(capture->waitUntilScriptDelivered());
    EXPECT_FALSE(runMainUntil([&] { return calls.back().rfind("tresult:", 0) != 0; },
                              std::chrono::milliseconds(100)));

    const std::string source = "请先简单介绍一下你自己。";
    const std::string translation = "Please briefly introduce yourself.";
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[calls.size() - 2], "result:" + source);
    EXPECT_EQ(calls.back(), "tresult:" + source + "|" + translation);

    // Everything before is partial, each one growing from the last.
    std::string previous;
    for (std::size_t i = 0; i + 2 < calls.size(); ++i) {
        ASSERT_EQ(calls[i].rfind("tpartial:", 0), 0u) << calls[i];
        const std::string text = calls[i].substr(9, calls[i].find('|') - 9);
        EXPECT_EQ(source.rfind(text, 0), 0u) << text;
        EXPECT_GE(text.size(), previous.size());
        previous = text;
    }
    EXPECT_LT(calls.front().size(), ("tpartial:" + source + "|" + translation).size());
}

TEST_F(DemoRecognitionTest, PlainRecognitionInEnglish) {
    record(false);
    ASSERT_TRUE(runMainUntil([&] { return sawFinal("result:"); }));
    EXPECT_EQ(calls.back(), "result:Please briefly introduce yourself.");
    EXPECT_EQ(calls.front(), "partial:Please");
}

}  // namespace
}  // namespace pex
