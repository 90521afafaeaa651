#pragma once
// A live session window against the local stand-in service over real HTTP, with the fake
// capture device, the fake speech backend and the manual clock (so the session clock, the
// token retries and the close delays run without sleeping). The main window the session hides
// and brings back is a plain window, the window lifecycle's main window, pinned as the
// application's main window, which also hosts the busy indicator.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "Tools/ContentWindow.h"
#include "Tools/HUD.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/WindowLifecycle.h"
#include "audio/PXRecorderManager.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "platform/speech/FakeSpeechBackend.h"
#include "platform/speech/SpeechBackend.h"
#include "purchase/ConsoleCapture.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "service/TimerManager.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/StandinClientTest.h"
#include "support/TestSupport.h"

namespace pex::test {

// The controller with the question asking counted (answering belongs to the answer table).
class CountingController : public AIInterviewDetailController {
  public:
    using AIInterviewDetailController::AIInterviewDetailController;
    void askFromTextView() override {
        ++asks;
        if (!countOnly) AIInterviewDetailController::askFromTextView();
    }
    int asks = 0;
    bool countOnly = true;
};

// Holds a stand-in reply until the test opens it (the handler runs on a service thread).
class ReplyGate {
  public:
    void wait() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.wait(lock, [&] { return open_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int waiting() const {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

class SessionWindowTest : public IsolatedTest {
  protected:
    static constexpr const char* kPhone = "13800138000";
    static constexpr std::int64_t kHistoryId = 1765150000;
    static constexpr const char* kFileName = "AI面试251207_232500";

    SessionWindowTest() {
        MainQueue::adoptCurrentThreadAsMain();
        service_.start();
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        setApiBaseURL(service_.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service_.state().issueToken(kPhone));
        service_.state().setBalance(kPhone, 6000);
        HttpDatas::shared().setAlertPresenter(serviceAlerts_);
        Alert::setModalHandlerForTesting([this](const Alert& alert) {
            sheets_.push_back(alert.messageText.toStdString() + "|" +
                              alert.informativeText.toStdString());
            return Alert::firstButtonReturn;
        });
        AIInterviewDetailController::setAudioRouteRestorer([this] { ++restores_; });
        mainWindow_ = new QWidget;
        mainWindow_->resize(750, 500);
        ApplicationWindows::setMainWindow(mainWindow_);
        ApplicationWindows::setDelegateWindow(mainWindow_);  // hosts the shared HUD
        WindowLifecycle::shared().track(mainWindow_, WindowLifecycle::Role::main);
    }

    ~SessionWindowTest() override {
        for (ReplyGate& gate : gates_) gate.open();
        if (window_) delete window_.data();
        TimerManager::shared().stop();
        TimerManager::shared().onTick = nullptr;
        TimerManager::shared().onBillingUpdate = nullptr;
        TimerManager::shared().onTokenRefresh = nullptr;
        // Whatever the session stopped off the main thread has finished once the recorder is
        // stopped; let its last steps run.
        runMainUntil([] { return !PXRecorderManager::shared().recorder().isStarted(); });
        manual_.clock().advance(std::chrono::seconds(5));
        flush();
        // The capture device is let go here, last: a device released later (by a recorder
        // stopped off the main thread) would uninstall the next test's device.
        runMainUntil([&] { return capture_.use_count() == 1; });
        // A final report sent on the way out is answered here, not in the next test.
        settle();
        flush();
        HUD::hide();
        if (!StatusHUD::shared().isHidden()) StatusHUD::shared().hide(false);
        ApplicationWindows::setMainWindow(nullptr);
        ApplicationWindows::setDelegateWindow(nullptr);
        delete mainWindow_.data();
        Alert::setModalHandlerForTesting(nullptr);
        AIInterviewDetailController::setAudioRouteRestorer(nullptr);
        HttpDatas::shared().setAlertPresenter(nullptr);
        SpeechBackend::setCurrent(nullptr);
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    static AIInterviewModel settings(std::int64_t modelType = 1, std::int64_t antoAnswerType = 0,
                                     std::int64_t sequenceType = 0) {
        AIInterviewModel model = AIInterviewModel::defaultRecord();
        model.modelType = modelType;
        model.antoAnswerType = antoAnswerType;
        model.sequenceType = sequenceType;
        model.positioname = "产品经理";
        return model;
    }

    // Opens the window as the setup page does; the controller starts billing at once.
    CountingController* open(const AIInterviewModel& model = settings()) {
        auto* controller = new CountingController(model, historyId_, kFileName);
        controller_ = controller;
        window_ = AIInterviewDetailWindow::open(controller);
        return controller;
    }

    // Every request sent so far has had its reply handled.
    bool settle() {
        return runMainUntil([&] {
            return console_.linesStartingWith("🚀url:") <=
                   console_.linesStartingWith("🍺result:") + console_.linesStartingWith("请求错误");
        });
    }

    bool waitForRecogniser() {
        return runMainUntil([&] { return speech_->lastSession() && controller_->isTranslating; });
    }

    // Runs what is queued on the main queue now (Qt's event loop drives it), and what that
    // queues in turn.
    static void flush() {
        for (int i = 0; i < 4; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    // Session time, second by second, with the main queue run after each.
    void advance(std::chrono::milliseconds by) {
        manual_.clock().advance(by);
        flush();
    }
    void tick(int seconds) {
        for (int i = 0; i < seconds; ++i) advance(std::chrono::seconds(1));
    }

    std::vector<int> reportStatuses() const {
        std::vector<int> statuses;
        for (const auto& request : service_.requests("/consume/update_consume")) {
            statuses.push_back(request.json().value("status", -1));
        }
        return statuses;
    }

    // Waits until `count` usage reports have reached the service and their replies are handled.
    bool waitForReports(std::size_t count) {
        return runMainUntil([&] { return reportStatuses().size() >= count; }) && settle();
    }

    QString hudText() const {
        MacStatusHUD* panel = HUD::current();
        return panel ? panel->messageLabel()->text() : QString();
    }

    // A gate that the fixture opens at the end at the latest.
    ReplyGate& makeGate() { return gates_.emplace_back(); }

    // Makes "/microsoft/get_token" wait for the gate answered before it replies.
    ReplyGate& holdTokenReplies() {
        ReplyGate& gate = makeGate();
        service_.addApiPath("GET", "/microsoft/get_token", [&gate](const standin::Call&) {
            gate.wait();
            return standin::Reply::ok(
                {{"token", "held-token"}, {"area", "eastasia"}, {"duration", 600}});
        });
        return gate;
    }

    bool pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(target, &press);
        return press.isAccepted();
    }

    std::int64_t historyId_ = kHistoryId;
    ScopedManualClock manual_;  // first: the service client's time-outs run on it too
    standin::StandinService service_;
    ConsoleCapture console_;
    std::shared_ptr<FakeCaptureDevice> capture_ = FakeCaptureDevice::install();
    std::shared_ptr<FakeSpeechBackend> speech_ = FakeSpeechBackend::install();
    std::shared_ptr<RecordingAlerts> serviceAlerts_ = std::make_shared<RecordingAlerts>();
    std::vector<std::string> sheets_;
    int restores_ = 0;
    std::deque<ReplyGate> gates_;  // handlers hold references: no reallocation
    QPointer<QWidget> mainWindow_;
    QPointer<ContentWindow> window_;
    QPointer<CountingController> controller_;
};

}  // namespace pex::test
