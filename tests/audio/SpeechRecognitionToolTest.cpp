#include "audio/SpeechRecognitionTool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "audio/SpeechFixture.h"
#include "platform/speech/FakeSpeechBackend.h"
#include "purchase/ConsoleCapture.h"

namespace pex {
namespace {

using test::ConsoleCapture;
using test::runMainUntil;

class SpeechRecognitionToolTest : public test::SpeechToolTest {
  protected:
    // The tool set up as the session controller does: plain (method 0) or translation
    // (method 1, "zh-CN" into "en").
    void setUp(bool translation) {
        makeTool();
        tool->method = translation ? 1 : 0;
        if (translation) {
            tool->setupTranslationRecognizer("zh-CN", "en");
        } else {
            tool->setupRecognizer("zh-CN");
        }
    }
    std::shared_ptr<FakeRecognitionSession> session() const { return backend->lastSession(); }

    std::shared_ptr<FakeSpeechBackend> backend = FakeSpeechBackend::install();
};

TranslationRecognitionResult result(std::optional<std::string> text,
                                    std::map<std::string, std::string> translations = {}) {
    return TranslationRecognitionResult{std::move(text), std::move(translations)};
}

TEST_F(SpeechRecognitionToolTest, EventsReachTheCallbacksOnMainInTheOrderRaised) {
    using Raise = std::function<void(FakeRecognitionSession&)>;
    auto partial = [](std::optional<std::string> text, std::map<std::string, std::string> tr = {}) {
        return Raise([=](FakeRecognitionSession& s) { s.raiseRecognizing(result(text, tr)); });
    };
    auto final = [](std::optional<std::string> text, std::map<std::string, std::string> tr = {}) {
        return Raise([=](FakeRecognitionSession& s) { s.raiseRecognized(result(text, tr)); });
    };
    auto canceled = [](std::optional<std::string> details) {
        return Raise([=](FakeRecognitionSession& s) { s.raiseCanceled(details); });
    };
    struct Case {
        const char* name;
        bool translation;
        std::vector<Raise> events;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"plain partials then final",
         false,
         {partial("你"), partial("你好"), final("你好。")},
         {"partial:你", "partial:你好", "result:你好。"}},
        {"plain empty or absent texts give nothing",
         false,
         {final(""), final(std::nullopt), partial(""), partial(std::nullopt), final("好")},
         {"result:好"}},
        {"translation partial and final",
         true,
         {partial("你", {{"en", "You"}}), final("你好", {{"en", "Hello"}, {"ja", "こんにちは"}})},
         {"tpartial:你|You", "result:你好", "tresult:你好|Hello"}},
        {"translation partial without text keeps an empty source",
         true,
         {partial(std::nullopt, {{"en", "Hello"}})},
         {"tpartial:|Hello"}},
        {"translation partial without the target gives nothing",
         true,
         {partial("你", {{"ja", "君"}}), final("你", {{"en", "You"}})},
         {"result:你", "tresult:你|You"}},
        {"translation final without the target keeps the sentence",
         true,
         {final("你好", {{"ja", "こんにちは"}})},
         {"result:你好", "tresult:你好|"}},
        {"translation empty final gives nothing",
         true,
         {final("", {{"en", "Hello"}}), final("好", {{"en", "Good"}})},
         {"result:好", "tresult:好|Good"}},
        {"cancellations",
         false,
         {canceled(std::nullopt), canceled("token expired"), canceled("")},
         {"error:Unknown error", "error:token expired", "error:Unknown error"}},
        {"translation cancellation", true, {canceled(std::nullopt)}, {"error:Unknown error"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        setUp(c.translation);
        ASSERT_TRUE(session());
        std::thread raiser([&] {
            for (const auto& raise : c.events) raise(*session());
        });
        raiser.join();
        ASSERT_TRUE(waitForCalls(c.expected.size()));
        EXPECT_FALSE(runMainUntil([&] { return calls.size() > c.expected.size(); },
                                  std::chrono::milliseconds(30)));
        EXPECT_EQ(calls, c.expected);
        EXPECT_TRUE(allOnMain);
    }
}

TEST_F(SpeechRecognitionToolTest, SetupFailuresReportExactMessages) {
    struct Case {
        const char* name;
        bool translation;
        std::function<void(FakeSpeechBackend&)> arrange;
        std::string log;
        std::string error;
    };
    const SpeechError failure{9, "refused"};
    const std::vector<Case> cases{
        {"plain configuration", false, [&](FakeSpeechBackend& b) { b.failConfiguration(failure); },
         "[SpeechRecognitionTool] 设置识别器失败：refused",
         "error:Recognizer setup failed: refused"},
        {"plain creation", false, [&](FakeSpeechBackend& b) { b.failCreation(failure); },
         "[SpeechRecognitionTool] 设置识别器失败：refused",
         "error:Recognizer setup failed: refused"},
        {"plain start", false, [&](FakeSpeechBackend& b) { b.failStart(failure); },
         "[SpeechRecognitionTool] 设置识别器失败：refused",
         "error:Recognizer setup failed: refused"},
        {"translation configuration", true,
         [&](FakeSpeechBackend& b) { b.failConfiguration(failure); },
         "[SpeechRecognitionTool] 设置翻译识别器失败：refused",
         "error:Translation recognizer setup failed: refused"},
        {"translation creation", true, [&](FakeSpeechBackend& b) { b.failCreation(failure); },
         "[SpeechRecognitionTool] 设置翻译识别器失败：refused",
         "error:Translation recognizer setup failed: refused"},
        {"translation start", true, [&](FakeSpeechBackend& b) { b.failStart(failure); },
         "[SpeechRecognitionTool] 设置翻译识别器失败：refused",
         "error:Translation recognizer setup failed: refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        backend = FakeSpeechBackend::install();
        c.arrange(*backend);
        calls.clear();
        ConsoleCapture console;
        setUp(c.translation);
        ASSERT_TRUE(waitForCalls(1));
        EXPECT_EQ(calls, std::vector<std::string>{c.error});
        EXPECT_EQ(console.linesStartingWith(c.log), 1);
    }
}

TEST_F(SpeechRecognitionToolTest, ConfigurationAndStreamFollowTheSetup) {
    setUp(false);
    ASSERT_TRUE(tool->speechConfig());
    EXPECT_EQ(tool->speechConfig()->speechRecognitionLanguage(), "zh-CN");
    EXPECT_EQ(tool->pushStream()->format(), AudioStreamFormat::pcm(16000, 16, 1));
    EXPECT_EQ(session()->request().authorizationToken, "token-1");
    EXPECT_EQ(session()->request().region, "eastasia");
    EXPECT_TRUE(session()->isStarted());

    setUp(true);
    EXPECT_FALSE(tool->speechConfig());  // the translation set-up keeps no plain configuration
    EXPECT_EQ(session()->request().recognitionLanguage, "zh-CN");
    EXPECT_EQ(session()->request().targetLanguages, std::vector<std::string>{"en"});
    EXPECT_EQ(tool->pushStream()->format(), AudioStreamFormat{});
    EXPECT_EQ(backend->configurations().size(), 2u);
}

TEST_F(SpeechRecognitionToolTest, UpdateTokenGoesWhereTheMethodSays) {
    ConsoleCapture console;
    setUp(false);
    tool->method = 1;  // plain objects exist, but the method says translation
    tool->updateToken("token-2");
    EXPECT_EQ(tool->speechConfig()->authorizationToken(), "token-1");
    EXPECT_TRUE(session()->tokenUpdates().empty());

    tool->method = 0;
    tool->updateToken("token-3");
    EXPECT_EQ(tool->speechConfig()->authorizationToken(), "token-3");
    EXPECT_EQ(session()->tokenUpdates(), std::vector<std::string>{"token-3"});

    setUp(true);
    tool->updateToken("token-4");
    EXPECT_EQ(session()->tokenUpdates(), std::vector<std::string>{"token-4"});
    EXPECT_EQ(tool->token(), "token-4");
    EXPECT_EQ(console.linesStartingWith("🔄 更新 token"), 3);
}

TEST_F(SpeechRecognitionToolTest, OnlyWhole640ByteFramesReachTheStreamFromTheFirstOne) {
    capture->setScript(FakeCaptureDevice::countingBuffers({1000, 1300, 4096, 1, 640, 320}));
    setUp(true);
    tool->startRecording();
    tool->isRecognizing = true;
    ASSERT_TRUE(capture->waitUntilScriptDelivered());
    // 7357 bytes: eleven whole frames, the first included.
    ASSERT_TRUE(session()->waitForBytes(11 * 640));
    const auto sizes = session()->writeSizes();
    EXPECT_EQ(sizes, std::vector<std::size_t>(11, 640));
    const auto threads = session()->writerThreads();
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST_F(SpeechRecognitionToolTest, StopEndsRecognitionAndNoEventReachesTheCallbacksAfterIt) {
    setUp(false);
    tool->startRecording();
    tool->isRecognizing = true;
    const auto running = session();
    ConsoleCapture console;
    // Raised before the stop and already on their way to the main queue when it comes. The
    // recogniser hands events to its handlers in order, the tool's first: once a handler added
    // after the tool's has seen the last event, the tool has posted all three.
    struct Posted {
        std::atomic<bool> seen{false};
        std::latch all{1};
    };
    const auto posted = std::make_shared<Posted>();
    tool->recognizer()->addCanceledEventHandler([posted](const RecognitionCanceledEventArgs&) {
        if (!posted->seen.exchange(true)) posted->all.count_down();
    });
    std::thread early([&] {
        running->raiseRecognizing(result("说到一半"));
        running->raiseRecognized(result("说完的话"));
        running->raiseCanceled("early");
    });
    early.join();
    posted->all.wait();

    tool->stop();
    tool->stop();  // harmless
    EXPECT_EQ(console.linesStartingWith("[SpeechRecognitionTool] 停止识别"), 1);
    EXPECT_TRUE(running->isStopped());
    EXPECT_TRUE(running->isStreamClosed());
    EXPECT_FALSE(tool->pushStream());
    EXPECT_FALSE(tool->recognizer());
    EXPECT_FALSE(PXRecorderManager::shared().recorder().isStarted());
    EXPECT_FALSE(PXRecorderManager::shared().hasAudioDataSubject());

    std::thread late([&] {
        running->raiseRecognized(result("迟到的话"));
        running->raiseCanceled("late");
    });
    late.join();
    EXPECT_FALSE(runMainUntil([&] { return !calls.empty(); }, std::chrono::milliseconds(50)));
}

TEST_F(SpeechRecognitionToolTest, StopBeforeRecognitionRunsDoesNothing) {
    setUp(false);
    tool->startRecording();  // the caller has not set isRecognizing yet
    ConsoleCapture console;
    tool->stop();
    EXPECT_TRUE(PXRecorderManager::shared().recorder().isStarted());
    EXPECT_FALSE(session()->isStopped());
    EXPECT_EQ(console.text(), "");
}

// The last session's teardown stops its tool from a background queue; when that stop is held
// up until the next session has started recording, it must leave the new recording running.
TEST_F(SpeechRecognitionToolTest, ALateStopOfTheLastSessionLeavesTheNextSessionRecording) {
    setUp(false);
    tool->startRecording();
    tool->isRecognizing = true;
    const std::shared_ptr<SpeechRecognitionTool> last = tool;
    std::latch nextSessionStarted(1);
    std::thread teardown([&] {
        nextSessionStarted.wait();
        last->stop();
    });

    makeTool()->audiofileName = "AI面试250101_130000.wav";
    tool->method = 0;
    tool->setupRecognizer("zh-CN");
    const auto next = session();
    tool->startRecording();
    tool->isRecognizing = true;
    nextSessionStarted.count_down();
    teardown.join();

    PXRecorderManager& manager = PXRecorderManager::shared();
    EXPECT_TRUE(manager.recorder().isStarted());
    ASSERT_TRUE(manager.audioFile());
    EXPECT_EQ(manager.audioFile()->url().filename(), "AI面试250101_130000.wav");
    ASSERT_TRUE(capture->push(FakeCaptureDevice::Buffer(kVoiceFrameBytes, 5)));
    EXPECT_TRUE(next->waitForBytes(kVoiceFrameBytes));  // its audio still reaches recognition
    EXPECT_FALSE(next->isStreamClosed());
}

// Run under ThreadSanitizer too: stop on a background queue while the capture thread writes.
TEST_F(SpeechRecognitionToolTest, StopFromAnotherThreadWhileFramesFlowDoesNotRace) {
    capture->setScript(
        std::vector<FakeCaptureDevice::Buffer>(3000, FakeCaptureDevice::Buffer(640, 3)));
    setUp(false);
    const auto running = session();
    tool->startRecording();
    tool->isRecognizing = true;
    ASSERT_TRUE(running->waitForBytes(20 * 640));

    std::thread teardown([&] { tool->stop(); });
    teardown.join();
    const std::uint64_t written = running->bytesWritten();
    EXPECT_TRUE(running->isStreamClosed());
    EXPECT_EQ(written % 640, 0u);
    EXPECT_EQ(running->bytesWritten(), written);  // nothing after stop
}

}  // namespace
}  // namespace pex
