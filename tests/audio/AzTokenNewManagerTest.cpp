// The speech token manager against the local stand-in service over real HTTP, with retries and
// the session clock on the manual clock.
#include <any>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "audio/AzTokenNewManager.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "purchase/ConsoleCapture.h"
#include "service/ApiBaseURL.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "service/TimerManager.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/StandinClientTest.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;
using standin::Reply;

// Stands in for the session window's controller.
class RecordingController : public AzTokenNewDelegate {
  public:
    void tokenReceived(const AzTokenModel& model) override {
        events.push_back("received " + model.token + " " + model.area);
    }
    void tokenRefreshed(const AzTokenModel& model) override {
        events.push_back("refreshed " + model.token + " " + model.area);
    }
    void tokenFailed(const std::any& error) override {
        const auto* text = std::any_cast<std::string>(&error);
        events.push_back("failed " + (text ? *text : std::string("?")));
    }
    std::vector<std::string> events;
};

json tokenData(const std::string& token, const std::string& area, json duration = 600) {
    json data = {{"token", token}, {"area", area}};
    if (!duration.is_null()) data["duration"] = duration;
    return data;
}

// The manual clock is in place before the service starts and until it has stopped.
class SpeechToken : public test::IsolatedTest {
  protected:
    static constexpr const char* kPhone = "13800138000";
    static constexpr const char* kStartLine = "AzToken请求[开始]:";

    SpeechToken() {
        MainQueue::adoptCurrentThreadAsMain();
        service_.start();
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        setApiBaseURL(service_.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service_.state().issueToken(kPhone));
        HttpDatas::shared().setAlertPresenter(alerts_);
        manager_ = AzTokenNewManager::create();
        manager_->delegate = &controller_;
    }
    ~SpeechToken() override {
        // Every request's reply is handled here, so none is left to reach the next test.
        EXPECT_TRUE(test::runMainUntil([&] { return repliesHandled() >= sentByManager(); }));
        manager_.reset();
        TimerManager::shared().stop();
        TimerManager::shared().onTokenRefresh = nullptr;
        manual_.clock().advance(std::chrono::seconds(5));  // lets pending retries and alerts go
        MainQueue::drain();
        HttpDatas::shared().setAlertPresenter(nullptr);
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    // Answers "/microsoft/get_token" with these replies in turn, then with the last one.
    void script(std::vector<Reply> replies) {
        auto queue = std::make_shared<std::deque<Reply>>(replies.begin(), replies.end());
        service_.addApiPath("GET", AzTokenNewManager::kPath, [queue](const standin::Call&) {
            Reply reply = queue->front();
            if (queue->size() > 1) queue->pop_front();
            return reply;
        });
    }
    std::size_t tokenRequests() const { return service_.requests(AzTokenNewManager::kPath).size(); }
    int sentByManager() const { return console_.linesStartingWith(kStartLine); }
    // Replies the service client has logged, whether they decoded or not.
    int repliesHandled() const {
        return console_.linesStartingWith("🍺result:") + console_.linesStartingWith("请求错误");
    }
    // Waits for the reply to the `count`-th request to have been handled on the main queue.
    void waitForReplies(int count) {
        ASSERT_TRUE(test::runMainUntil([&] { return repliesHandled() >= count; }))
            << console_.text();
        MainQueue::drain();
    }
    void advance(std::chrono::milliseconds by) {
        manual_.clock().advance(by);
        MainQueue::drain();
    }
    void runSessionSeconds(int seconds) {
        for (int i = 0; i < seconds; ++i) advance(std::chrono::seconds(1));
    }

    ScopedManualClock manual_;
    test::ConsoleCapture console_;
    standin::StandinService service_;
    std::shared_ptr<test::RecordingAlerts> alerts_ = std::make_shared<test::RecordingAlerts>();
    RecordingController controller_;
    std::shared_ptr<AzTokenNewManager> manager_;
};

TEST_F(SpeechToken, FourFailuresRetryThreeTimesTwoSecondsApartThenReportOnce) {
    for (const Fault& fault : {Fault::serverError(true), Fault::droppedConnection()}) {
        service_.setFault(AzTokenNewManager::kPath, fault);
        controller_.events.clear();
        const int before = sentByManager();
        const int repliesBefore = repliesHandled();
        manager_->start();
        for (int attempt = 1; attempt <= 4; ++attempt) {
            waitForReplies(repliesBefore + attempt);
            EXPECT_EQ(sentByManager(), before + attempt);
            if (attempt == 4) break;
            EXPECT_EQ(manager_->retry, attempt);
            advance(std::chrono::milliseconds(1999));
            EXPECT_EQ(sentByManager(), before + attempt) << "retried too early";
            advance(std::chrono::milliseconds(1));
            EXPECT_EQ(sentByManager(), before + attempt + 1);
        }
        EXPECT_EQ(controller_.events, std::vector<std::string>{"failed "});
        runSessionSeconds(10);
        EXPECT_EQ(sentByManager(), before + 4);
        EXPECT_EQ(controller_.events.size(), 1u);
    }
    const std::string text = console_.text();
    for (const char* line : {"请求重试: 1\n", "请求重试: 2\n", "请求重试: 3\n", "请求终止\n",
                             "AzToken请求[间隔]: 2.0\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(console_.linesStartingWith("请求终止"), 2);
    EXPECT_EQ(console_.linesStartingWith("请求重试: 4"), 0);
}

TEST_F(SpeechToken, FailuresThenSuccessReportTheTokenAndARefreshHasAllRetriesAgain) {
    // An empty token is a failure, retried like one.
    script({Reply::error(500, "服务繁忙"), Reply::ok(tokenData("", "eastasia")),
            Reply::ok(tokenData("T1", "eastasia"))});
    manager_->start();
    waitForReplies(1);
    advance(std::chrono::seconds(2));
    waitForReplies(2);
    EXPECT_EQ(manager_->retry, 2);
    EXPECT_TRUE(controller_.events.empty());
    advance(std::chrono::seconds(2));
    waitForReplies(3);
    EXPECT_EQ(controller_.events, std::vector<std::string>{"received T1 eastasia"});
    EXPECT_EQ(manager_->retry, 0);
    EXPECT_EQ(manager_->action, 1);

    // The clock's refresh: three failures and a success still end in a refreshed token.
    script({Reply::error(500, "a"), Reply::error(500, "b"), Reply::error(500, "c"),
            Reply::ok(tokenData("T2", "eastasia"))});
    TimerManager::shared().onTokenRefresh();
    EXPECT_EQ(manager_->action, 2);
    for (int reply = 4; reply <= 7; ++reply) {
        waitForReplies(reply);
        if (reply < 7) advance(std::chrono::seconds(2));
    }
    EXPECT_EQ(controller_.events,
              (std::vector<std::string>{"received T1 eastasia", "refreshed T2 eastasia"}));
    EXPECT_EQ(tokenRequests(), 7u);
}

TEST_F(SpeechToken, TheReplysLifetimeMovesTheClocksNextRefresh) {
    TimerManager& clock = TimerManager::shared();
    clock.start();
    runSessionSeconds(120);
    manager_->start();
    waitForReplies(1);
    ASSERT_EQ(controller_.events.size(), 1u);
    EXPECT_EQ(clock.expiresTime, 600);
    EXPECT_EQ(clock.oldExpiresTime, 120);
    runSessionSeconds(599);  // second 719
    EXPECT_EQ(sentByManager(), 1);
    runSessionSeconds(1);  // second 720
    EXPECT_EQ(sentByManager(), 2);
    waitForReplies(2);
    EXPECT_EQ(controller_.events.size(), 2u);
    EXPECT_EQ(controller_.events[1].rfind("refreshed speech-", 0), 0u) << controller_.events[1];
    EXPECT_EQ(clock.oldExpiresTime, 720);
}

TEST_F(SpeechToken, ALifetimeThatIsMissingZeroOrNotANumberKeepsTheClocksPeriod) {
    TimerManager& clock = TimerManager::shared();
    clock.start();
    runSessionSeconds(30);
    const std::vector<json> durations = {nullptr, 0, -5, "600", json::object()};
    int replies = 0;
    for (const json& duration : durations) {
        SCOPED_TRACE(duration.dump());
        script({Reply::ok(tokenData("T", "eastasia", duration))});
        manager_->start();
        waitForReplies(++replies);
        EXPECT_EQ(clock.expiresTime, TimerManager::kDefaultExpiresTime);
        EXPECT_EQ(clock.oldExpiresTime, 0);
        EXPECT_EQ(controller_.events.back(), "received T eastasia");
    }
    // A fractional lifetime counts in whole seconds.
    script({Reply::ok(tokenData("T", "eastasia", 300.7))});
    manager_->start();
    waitForReplies(++replies);
    EXPECT_EQ(clock.expiresTime, 300);
    EXPECT_EQ(clock.oldExpiresTime, 30);
}

TEST_F(SpeechToken, TheRegionIsSentOnlyWhenTheLastAreaIsNotEmpty) {
    script({Reply::ok(tokenData("T1", "westus2"))});
    manager_->start();
    waitForReplies(1);
    script({Reply::ok(tokenData("T2", ""))});
    TimerManager::shared().onTokenRefresh();
    waitForReplies(2);
    script({Reply::ok(tokenData("T3", "eastasia"))});
    TimerManager::shared().onTokenRefresh();
    waitForReplies(3);
    const auto requests = service_.requests(AzTokenNewManager::kPath);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].query, "");
    EXPECT_EQ(requests[1].query, "region=westus2");
    EXPECT_EQ(requests[2].query, "");
    EXPECT_EQ(controller_.events, (std::vector<std::string>{"received T1 westus2", "refreshed T2 ",
                                                            "refreshed T3 eastasia"}));
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].header("Authorization").value_or("").rfind("Bearer stk_", 0), 0u);
}

TEST_F(SpeechToken, AfterStopNoLateReplyOrRetryReachesTheController) {
    // A reply that arrives after stop.
    manager_->start();
    manager_->stop();
    EXPECT_FALSE(TimerManager::shared().onTokenRefresh);
    waitForReplies(1);
    EXPECT_TRUE(controller_.events.empty());

    // A retry that was scheduled before stop.
    service_.setFault(AzTokenNewManager::kPath, Fault::serverError(true));
    manager_->start();
    waitForReplies(2);
    EXPECT_EQ(manager_->retry, 1);
    manager_->stop();
    runSessionSeconds(10);
    EXPECT_EQ(sentByManager(), 2);
    EXPECT_TRUE(controller_.events.empty());
    EXPECT_EQ(console_.linesStartingWith("停止微软轮询"), 2);
    EXPECT_FALSE(manager_->area.has_value());

    // A new start works as before.
    service_.clearFaults();
    manager_->start();
    waitForReplies(3);
    ASSERT_EQ(controller_.events.size(), 1u);
    EXPECT_EQ(controller_.events[0].rfind("received speech-", 0), 0u);
}

TEST_F(SpeechToken, AnExpiredLoginIsNeitherRetriedNorReported) {
    service_.setFault(AzTokenNewManager::kPath, Fault::unauthorized());
    manager_->start();
    ASSERT_TRUE(test::runMainUntil([&] { return tokenRequests() == 1; }));
    ASSERT_TRUE(test::runMainUntil(
        [&] { return !SettingsStore::string(SettingsKeys::loginToken).has_value(); }));
    runSessionSeconds(10);
    EXPECT_EQ(tokenRequests(), 1u);
    EXPECT_TRUE(controller_.events.empty());
}

TEST_F(SpeechToken, AManagerThatIsGoneLeavesNoRefreshOnTheClock) {
    manager_->start();
    EXPECT_TRUE(TimerManager::shared().onTokenRefresh);
    auto other = AzTokenNewManager::create();
    manager_.reset();
    EXPECT_FALSE(TimerManager::shared().onTokenRefresh);
    waitForReplies(1);  // the reply finds nobody
    EXPECT_TRUE(controller_.events.empty());
    other->start();
    other.reset();
    EXPECT_FALSE(TimerManager::shared().onTokenRefresh);
}

}  // namespace
}  // namespace pex
