// The speech recognition tool on the cloud backend, end to end: frames of the fake capture
// device reach the stand-in's speech endpoint and come back as the tool's callbacks; a token
// renewed through the tool is the one the next connection carries, and no token is printed.
#include <gtest/gtest.h>

#include "audio/SpeechFixture.h"
#include "platform/speech/CloudSpeechBackend.h"
#include "purchase/ConsoleCapture.h"
#include "standin-service/SpeechSocketServer.h"

namespace pex {
namespace {

using test::runMainUntil;
using test::voiceFrames;

class CloudRecognitionToolTest : public test::SpeechToolTest {
  protected:
    CloudRecognitionToolTest() {
        EXPECT_NE(server.start(), 0);
        SpeechBackend::setCurrent(std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{
            server.endpoint("/speech/recognition"), server.endpoint("/speech/translation")}));
    }

    standin::SpeechSocketServer server;
};

TEST_F(CloudRecognitionToolTest, TranslationRunsThroughTheServiceAndARenewedTokenIsUsedNext) {
    test::ConsoleCapture console;
    std::vector<FakeCaptureDevice::Buffer> script = voiceFrames(10, false);
    for (auto& frame : voiceFrames(50, true)) script.push_back(std::move(frame));
    for (auto& frame : voiceFrames(60, false)) script.push_back(std::move(frame));
    capture->setScript(std::move(script));

    makeTool("speech-token-AAA111");
    tool->method = 1;
    tool->setupTranslationRecognizer("zh-CN", "en");
    ASSERT_TRUE(runMainUntil([&] { return server.connections().size() == 1; }));
    tool->updateToken("speech-token-BBB222");
    server.closeAfterAudio(100 * kVoiceFrameBytes, 1000);
    tool->startRecording();
    tool->isRecognizing = true;

    ASSERT_TRUE(
        runMainUntil([&] { return !calls.empty() && calls.back().rfind("tresult:", 0) == 0; }));
    EXPECT_EQ(calls[calls.size() - 2], "result:请先简单介绍一下你自己。");
    EXPECT_EQ(calls.back(), "tresult:请先简单介绍一下你自己。|Please briefly introduce yourself.");
    EXPECT_EQ(calls.front().rfind("tpartial:", 0), 0u);
    EXPECT_TRUE(allOnMain);

    ASSERT_TRUE(runMainUntil([&] { return server.connections().size() == 2; }));
    const auto connections = server.connections();
    EXPECT_EQ(connections[0].query, "from=zh-CN&to=en&format=simple");
    EXPECT_EQ(connections[0].authorization, "Bearer speech-token-AAA111");
    EXPECT_EQ(connections[1].authorization, "Bearer speech-token-BBB222");

    tool->stop();
    const std::string printed = console.text();
    EXPECT_NE(printed.find("🔄 更新 token"), std::string::npos);
    EXPECT_EQ(printed.find("AAA111"), std::string::npos);
    EXPECT_EQ(printed.find("BBB222"), std::string::npos);
}

}  // namespace
}  // namespace pex
