// The session side of the live session window: billing, token, recogniser and every way a
// session ends, against the stand-in service, the fake capture device and the fake speech
// backend.
#include <QPlainTextEdit>

#include "Main/WindowFactory.h"
#include "Page/SessionWindowFixture.h"
#include "Tools/SessionExpiryWindows.h"
#include "Tools/WindowLifecycle.h"

namespace pex::test {
namespace {

using standin::Fault;
using standin::Reply;

class SessionController : public SessionWindowTest {};

TEST_F(SessionController, ARefusedStartLeavesTheWindowOpenAndGivesTheRouteBackAtOnce) {
    service_.setFault("/consume/start", Fault::serviceError(1005, "余额不足"));
    open();
    ASSERT_TRUE(runMainUntil([&] { return console_.linesStartingWith("💰计费结束:") == 1; }));
    settle();
    advance(std::chrono::milliseconds(300));  // the service client's alert comes 0.25 s later

    EXPECT_EQ(console_.linesStartingWith("💰计费结束:订单请求失败"), 1);
    EXPECT_EQ(HUD::current(), nullptr);
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(controller_->timeLabel()->text(), "00:00:00");
    EXPECT_FALSE(controller_->speechTool);
    EXPECT_TRUE(service_.requests("/microsoft/get_token").empty());
    EXPECT_TRUE(reportStatuses().empty());
    EXPECT_EQ(serviceAlerts_->messages, std::vector<std::string>{"余额不足"});
    EXPECT_FALSE(TimerManager::shared().isRunning());
    // Nothing needs the route any more: it goes back with the refusal (once the stop has been
    // through the capture's queue), and closing the window later does not put it back again.
    ASSERT_TRUE(runMainUntil([&] { return restores_ == 1; }));
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->isVisible());
    window_->close();
    advance(std::chrono::seconds(3));
    ASSERT_TRUE(runMainUntil([&] { return window_.isNull(); }));
    EXPECT_EQ(restores_, 1);
}

struct LanguageCase {
    const char* name;
    std::int64_t modelType;
    std::optional<LanguageListModel> china, left, right;
    std::string language;
    std::vector<std::string> targets;
};

LanguageListModel language(std::string original, std::string translation) {
    LanguageListModel model;
    model.original_key = std::move(original);
    model.translation_key = std::move(translation);
    return model;
}

TEST_F(SessionController, TheFirstTokenBuildsTheRecogniserWithTheStoredOrDefaultLanguages) {
    const std::vector<LanguageCase> cases = {
        {"recognition, nothing stored", 1, {}, {}, {}, "zh-CN", {}},
        {"recognition, stored language", 1, language("en-US", "en"), {}, {}, "en-US", {}},
        {"translation, nothing stored", 0, {}, {}, {}, "zh-CN", {"en"}},
        {"translation, stored pair",
         0,
         language("xx", "xx"),
         language("ja-JP", "ja"),
         language("ko-KR", "ko"),
         "ja-JP",
         {"ko"}},
    };
    for (const LanguageCase& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore::setRecord(c.china,
                                 DefaultsKey<LanguageListModel>(LanguageListModel::kChinaKey));
        SettingsStore::setRecord(c.left,
                                 DefaultsKey<LanguageListModel>(LanguageListModel::kLeftKey));
        SettingsStore::setRecord(c.right,
                                 DefaultsKey<LanguageListModel>(LanguageListModel::kRightKey));
        const std::size_t before = speech_->sessions().size();
        CountingController* controller = open(settings(c.modelType, 1));
        ASSERT_TRUE(runMainUntil([&] { return speech_->sessions().size() > before; }));
        flush();

        const RecognitionRequest& request = speech_->lastSession()->request();
        EXPECT_EQ(request.recognitionLanguage, c.language);
        EXPECT_EQ(request.targetLanguages, c.targets);
        EXPECT_EQ(request.region, "eastasia");
        EXPECT_EQ(request.authorizationToken.rfind("speech-", 0), 0u);
        EXPECT_EQ(controller->speechTool->audiofileName, std::string(kFileName) + ".wav");
        EXPECT_EQ(controller->speechTool->method, c.modelType == 1 ? 0 : 1);
        EXPECT_TRUE(controller->isTranslating);
        EXPECT_EQ(HUD::current(), nullptr);  // "Loading..." goes with the first token
        EXPECT_FALSE(controller->textView()->isReadOnly());
        EXPECT_TRUE(capture_->isRunning());
        EXPECT_TRUE(TimerManager::shared().isRunning());

        delete window_.data();  // ends the session on the way
        ASSERT_TRUE(runMainUntil([&] { return !capture_->isRunning(); }));
        settle();
    }
}

TEST_F(SessionController, TheClockLabelCountsSessionTime) {
    open();
    ASSERT_TRUE(waitForRecogniser());
    tick(3);
    EXPECT_EQ(controller_->timeLabel()->text(), "00:00:03");
    EXPECT_EQ(controller_->useTimeCount, 3);
    for (const auto& [seconds, text] : std::vector<std::pair<std::int64_t, QString>>{
             {3725, "01:02:05"}, {360000, "100:00:00"}, {59, "00:00:59"}}) {
        TimerManager::shared().onTick(seconds);
        EXPECT_EQ(controller_->timeLabel()->text(), text);
    }
    // Every tenth second reports usage.
    tick(7);
    ASSERT_TRUE(runMainUntil([&] { return reportStatuses().size() == 1; }));
    EXPECT_EQ(reportStatuses(), std::vector<int>{1});
}

TEST_F(SessionController, ARefreshedTokenReachesTheRunningRecogniser) {
    int replies = 0;
    service_.addApiPath("GET", "/microsoft/get_token", [&replies](const standin::Call&) {
        ++replies;
        return Reply::ok({{"token", "token-" + std::to_string(replies)},
                          {"area", "eastasia"},
                          {"duration", 30}});
    });
    open(settings(0));
    ASSERT_TRUE(waitForRecogniser());
    EXPECT_EQ(speech_->lastSession()->request().authorizationToken, "token-1");
    tick(30);
    ASSERT_TRUE(runMainUntil([&] { return !speech_->lastSession()->tokenUpdates().empty(); }));
    EXPECT_EQ(speech_->lastSession()->tokenUpdates(), std::vector<std::string>{"token-2"});
    EXPECT_EQ(console_.linesStartingWith("Token 刷新成功，Token: token-2, 区域: eastasia"), 1);
}

TEST_F(SessionController, ARecognitionErrorReportsOnceAlertsOnceAndStopsEverything) {
    open(settings(1, 1));
    ASSERT_TRUE(waitForRecogniser());
    speech_->lastSession()->raiseCanceled("connection lost");
    ASSERT_TRUE(runMainUntil([&] { return sheets_.size() == 1; }));
    // Capture and recognition stop when the session ends, not when the reply comes.
    ASSERT_TRUE(runMainUntil([&] { return speech_->lastSession()->isStopped(); }));
    EXPECT_FALSE(capture_->isRunning());
    EXPECT_TRUE(speech_->lastSession()->isStreamClosed());
    EXPECT_FALSE(TimerManager::shared().isRunning());
    EXPECT_FALSE(controller_->isTranslating);
    EXPECT_EQ(sheets_, std::vector<std::string>{"错误|token已失效，请重新开始"});
    EXPECT_EQ(console_.linesStartingWith("识别错误：connection lost"), 1);
    ASSERT_TRUE(runMainUntil([&] { return console_.linesStartingWith("💰计费结束:") == 1; }));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    EXPECT_EQ(console_.linesStartingWith("💰计费结束:"), 1);
    EXPECT_EQ(HUD::current(), nullptr);  // the reply to an error shows no toast
    flush();
    EXPECT_TRUE(controller_->textView()->isReadOnly());

    // A later error only logs.
    controller_->handleRecognitionError("again");
    settle();
    EXPECT_EQ(sheets_.size(), 1u);
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(SessionController, AFailedRecogniserSetUpEndsTheSessionLikeAnError) {
    speech_->failStart(SpeechError{1, "start refused"});
    open(settings(0));
    ASSERT_TRUE(runMainUntil([&] { return sheets_.size() == 1; }));
    EXPECT_EQ(console_.linesStartingWith("识别错误: Translation recognizer setup failed: "), 1);
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    ASSERT_TRUE(runMainUntil([&] { return !capture_->isRunning(); }));
    EXPECT_FALSE(TimerManager::shared().isRunning());
}

TEST_F(SessionController, ACaptureFailureEndsTheSessionWithItsOwnMessage) {
    capture_->setScript(FakeCaptureDevice::countingBuffers({640, 640}));
    capture_->failAfterScript(AudioQueueError{-1, "device gone"});
    open();
    ASSERT_TRUE(runMainUntil([&] { return sheets_.size() == 1; }));
    EXPECT_EQ(sheets_[0], "错误|录音设备不可用，请检查音频设备后重新开始");
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    ASSERT_TRUE(runMainUntil([&] { return speech_->lastSession()->isStopped(); }));
    EXPECT_FALSE(TimerManager::shared().isRunning());
    EXPECT_FALSE(PXRecorderManager::shared().hasCaptureFailureHandler());
}

TEST_F(SessionController, ATokenThatCannotBeHadEndsTheSessionInsteadOfBillingOn) {
    service_.setFault("/microsoft/get_token", Fault::serviceError(500, "busy").times(4));
    open();
    ASSERT_TRUE(
        runMainUntil([&] { return service_.requests("/microsoft/get_token").size() == 1; }));
    settle();
    for (int retry = 0; retry < 3; ++retry) {
        advance(std::chrono::seconds(2));
        settle();
    }
    ASSERT_TRUE(runMainUntil([&] { return sheets_.size() == 1; }));
    EXPECT_EQ(console_.linesStartingWith("获取 token 失败，停止轮训。"), 1);
    EXPECT_EQ(sheets_[0], "错误|token已失效，请重新开始");
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    EXPECT_FALSE(TimerManager::shared().isRunning());
    EXPECT_FALSE(controller_->speechTool);
    EXPECT_EQ(HUD::current(), nullptr);  // "Loading..." goes with the final reply
    // Nothing reports or ticks any more.
    tick(20);
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
}

TEST_F(SessionController, ClosingWhileRecognisingStopsAtOnceAndTheReplyOnlyPicksTheMessage) {
    ReplyGate& finalReply = makeGate();
    service_.addApiPath("POST", "/consume/update_consume", [&finalReply](const standin::Call&) {
        finalReply.wait();
        return Reply::ok();
    });
    open();
    ASSERT_TRUE(waitForRecogniser());
    window_->close();
    EXPECT_TRUE(window_->isVisible());  // the first close only starts the close path
    EXPECT_EQ(hudText(), "Saving...");
    ASSERT_TRUE(runMainUntil([&] { return finalReply.waiting() == 1; }));
    // The reply has not come, yet nothing runs any more.
    ASSERT_TRUE(runMainUntil([&] { return speech_->lastSession()->isStopped(); }));
    EXPECT_FALSE(capture_->isRunning());
    EXPECT_FALSE(TimerManager::shared().isRunning());
    EXPECT_FALSE(TimerManager::shared().onBillingUpdate);

    // The devices go back once the report is answered (at most 2 s later).
    EXPECT_EQ(restores_, 0);
    finalReply.open();
    ASSERT_TRUE(runMainUntil([&] { return console_.linesStartingWith("💰计费结束:") == 1; }));
    EXPECT_EQ(hudText(), "已停止");  // the accepted report's empty message
    ASSERT_TRUE(runMainUntil([&] { return restores_ == 1; }));
    EXPECT_EQ(service_.requests("/consume/update_consume").at(0).json().value("status", 0), 2);
}

TEST_F(SessionController, ClosingBeforeTheFirstTokenEndsTheSessionAndALateTokenBuildsNothing) {
    ReplyGate& token = holdTokenReplies();
    open(settings(1, 1));
    ASSERT_TRUE(runMainUntil([&] { return token.waiting() == 1; }));
    ASSERT_TRUE(runMainUntil([&] { return TimerManager::shared().isRunning(); }));
    flush();
    EXPECT_EQ(hudText(), "Loading...");
    EXPECT_TRUE(controller_->textView()->isReadOnly());  // nothing to ask before recognition
    window_->close();
    EXPECT_FALSE(TimerManager::shared().isRunning());

    // The token arrives within the 2 s close delay (the final report waits behind it on the
    // one connection to the service).
    token.open();
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});  // a consumption was open
    advance(std::chrono::seconds(1));
    EXPECT_FALSE(controller_->speechTool);
    EXPECT_TRUE(speech_->sessions().empty());
    EXPECT_FALSE(capture_->isRunning());
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->isVisible());
    advance(std::chrono::seconds(1));
    ASSERT_TRUE(runMainUntil([&] { return window_.isNull(); }));
}

TEST_F(SessionController, ClosingBeforeBillingAnswersClosesTheConsumptionItOpens) {
    ReplyGate& start = makeGate();
    service_.addApiPath("POST", "/consume/start", [&start](const standin::Call&) {
        start.wait();
        return Reply::ok("C-late");
    });
    service_.addApiPath("POST", "/consume/update_consume",
                        [](const standin::Call&) { return Reply::ok(); });
    open();
    ASSERT_TRUE(runMainUntil([&] { return start.waiting() == 1; }));
    window_->close();
    EXPECT_TRUE(reportStatuses().empty());  // nothing is open yet
    start.open();
    ASSERT_TRUE(runMainUntil([&] { return reportStatuses().size() == 1; }));
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    EXPECT_EQ(service_.requests("/consume/update_consume")[0].json().value("consume_id", ""),
              "C-late");
    EXPECT_TRUE(service_.requests("/microsoft/get_token").empty());
    EXPECT_FALSE(TimerManager::shared().isRunning());
    tick(10);
    EXPECT_EQ(reportStatuses().size(), 1u);  // no periodic report either
}

TEST_F(SessionController, AFailedPeriodicReportEndsTheSessionWithItsToast) {
    open();
    ASSERT_TRUE(waitForRecogniser());
    service_.setFault("/consume/update_consume", Fault::serviceError(1005, "余额不足"));
    tick(10);
    ASSERT_TRUE(runMainUntil([&] { return console_.linesStartingWith("💰计费结束:") == 1; }));
    EXPECT_EQ(hudText(), "订单更新失败");
    ASSERT_TRUE(runMainUntil([&] { return !capture_->isRunning(); }));
    settle();
    EXPECT_EQ(reportStatuses(), std::vector<int>{1});  // no final report after a failed one
    EXPECT_TRUE(sheets_.empty());
}

TEST_F(SessionController, AnExpiredLoginDuringASessionEndsItAndLeavesOnlyTheLoginWindow) {
    WindowFactory::install();
    HttpDatas::shared().setSessionExpiryHandler(std::make_shared<SessionExpiryWindows>());
    open();
    ASSERT_TRUE(waitForRecogniser());
    ASSERT_FALSE(mainWindow_->isVisible());  // hidden while the session runs
    service_.setFault("/consume/update_consume", Fault::unauthorized().times(1));
    tick(10);
    ASSERT_TRUE(runMainUntil([&] { return window_.isNull(); }));
    ASSERT_TRUE(runMainUntil([&] { return !capture_->isRunning(); }));
    EXPECT_FALSE(TimerManager::shared().isRunning());
    settle();
    // The final report went out while the token was still there.
    EXPECT_EQ(reportStatuses(), (std::vector<int>{1, 2}));
    EXPECT_EQ(restores_, 1);
    // Long after the session's own close delays, the login window is all there is.
    advance(std::chrono::seconds(3));
    std::vector<QString> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowType() != Qt::Popup) {
            shown.push_back(widget->windowTitle());
        }
    }
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("登录")});
    HttpDatas::shared().setSessionExpiryHandler(nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<ContentWindow*>(widget)) delete widget;
    }
}

// Quit (the menu, Ctrl+Q, SIGTERM, SIGINT) with a session running: its final report, the
// recogniser and the capture stopped, the recording closed, the route restored, then the exit.
class SessionQuit : public SessionController {
  protected:
    SessionQuit() {
        WindowLifecycle::shared().setExitHandler([this](int status) { exits_.push_back(status); });
        service_.addApiPath("POST", "/consume/update_consume", [this](const standin::Call&) {
            finalReply_.wait();
            return Reply::ok();
        });
    }
    ~SessionQuit() override { WindowLifecycle::shared().setExitHandler(nullptr); }

    // Quits during a recognising session; answers once all but the report's answer is over.
    void quitDuringASession() {
        open();
        ASSERT_TRUE(waitForRecogniser());
        WindowLifecycle::shared().quit(0);
        ASSERT_TRUE(runMainUntil([&] { return finalReply_.waiting() == 1; }));
        ASSERT_TRUE(runMainUntil([&] {
            return speech_->lastSession()->isStopped() && !capture_->isRunning() &&
                   !PXRecorderManager::shared().recorder().isStarted();
        }));
        flush();
        EXPECT_FALSE(TimerManager::shared().isRunning());
        EXPECT_EQ(reportStatuses(), std::vector<int>{2});
        EXPECT_TRUE(exits_.empty());  // the report's answer is awaited
        EXPECT_EQ(restores_, 0);
    }

    ReplyGate& finalReply_ = makeGate();
    std::vector<int> exits_;
};

TEST_F(SessionQuit, TheExitFollowsTheAnsweredFinalReport) {
    quitDuringASession();
    finalReply_.open();
    ASSERT_TRUE(runMainUntil([&] { return !exits_.empty(); }));
    EXPECT_EQ(exits_, std::vector<int>{0});
    EXPECT_EQ(restores_, 1);
}

TEST_F(SessionQuit, AnUnansweredFinalReportHoldsTheExitForTwoSecondsAtMost) {
    quitDuringASession();
    advance(AIInterviewDetailController::kFinalReportWait - std::chrono::milliseconds(1));
    EXPECT_TRUE(exits_.empty());
    advance(std::chrono::milliseconds(1));
    EXPECT_EQ(exits_, std::vector<int>{0});
    EXPECT_EQ(restores_, 1);
}

}  // namespace
}  // namespace pex::test
