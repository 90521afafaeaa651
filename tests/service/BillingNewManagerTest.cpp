// Minute billing against the local stand-in service over real HTTP, with the session clock on
// the manual clock.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "purchase/ConsoleCapture.h"
#include "service/ApiBaseURL.h"
#include "service/BillingNewManager.h"
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

// Stands in for the session window: records what billing tells it and, like the window,
// starts the session clock when billing has started.
class RecordingWindow : public BillingNewDelegate {
  public:
    void billingDidStart(const std::string& consumeID) override {
        events.push_back("start " + consumeID);
        TimerManager::shared().start();
    }
    void billingDidEnd(const std::string& message) override {
        events.push_back("end " + message);
        TimerManager::shared().stop();
    }
    std::vector<std::string> events;
};

// Not a SignedInClientTest: the manual clock has to be in place before the service starts and
// until it has stopped.
class MinuteBilling : public test::IsolatedTest {
  protected:
    static constexpr const char* kPhone = "13800138000";

    MinuteBilling() {
        MainQueue::adoptCurrentThreadAsMain();
        service_.start();
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        setApiBaseURL(service_.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service_.state().issueToken(kPhone));
        service_.state().setBalance(kPhone, 600);
        HttpDatas::shared().setAlertPresenter(alerts_);
        manager_ = BillingNewManager::create();
        manager_->delegate = &window_;
    }
    ~MinuteBilling() override {
        manager_.reset();
        TimerManager::shared().stop();
        TimerManager::shared().onBillingUpdate = nullptr;
        HttpDatas::shared().setAlertPresenter(nullptr);
        MainQueue::drain();
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    bool waitForEvents(std::size_t count) {
        return test::runMainUntil([&] { return window_.events.size() >= count; });
    }
    bool waitForRequests(const std::string& route, std::size_t count) {
        return test::runMainUntil([&] { return service_.requests(route).size() >= count; });
    }
    // Session time, second by second, running the main queue after each.
    void runSessionSeconds(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            manual_.clock().advance(std::chrono::seconds(1));
            MainQueue::drain();
        }
    }
    // Lets the client's delayed alerts come due.
    void runAlertDelay() {
        manual_.clock().advance(HttpDatas::kAlertDelay);
        MainQueue::drain();
    }
    std::vector<json> bodies(const std::string& route) {
        std::vector<json> result;
        for (const auto& request : service_.requests(route)) result.push_back(request.json());
        return result;
    }
    void startSuccessfully() {
        manager_->startConsume();
        ASSERT_TRUE(waitForEvents(1));
        ASSERT_EQ(window_.events[0].rfind("start C", 0), 0u) << window_.events[0];
    }

    ScopedManualClock manual_;
    standin::StandinService service_;
    std::shared_ptr<test::RecordingAlerts> alerts_ = std::make_shared<test::RecordingAlerts>();
    RecordingWindow window_;
    std::shared_ptr<BillingNewManager> manager_;
};

TEST_F(MinuteBilling, StartReportsEveryTenSecondsAndTheFinalReportEndsWithEmptyText) {
    startSuccessfully();
    const std::string id = manager_->consumeID;
    EXPECT_EQ(window_.events, std::vector<std::string>{"start " + id});
    EXPECT_EQ(bodies("/consume/start"), (std::vector<json>{json{{"function_type", 1}}}));
    EXPECT_EQ(service_.requests("/consume/start")[0].method, "POST");

    for (int report = 1; report <= 3; ++report) {
        runSessionSeconds(9);
        EXPECT_EQ(service_.requests("/consume/update_consume").size(), std::size_t(report - 1));
        runSessionSeconds(1);
        ASSERT_TRUE(waitForRequests("/consume/update_consume", report));
    }
    const json periodic = {{"status", 1}, {"consume_id", id}};
    EXPECT_EQ(bodies("/consume/update_consume"), (std::vector<json>{periodic, periodic, periodic}));
    // The stand-in charged the three reports once their replies were in.
    EXPECT_TRUE(test::runMainUntil([&] { return service_.state().balance(kPhone) == 570; }));

    // The window's stop: the callback first, then the final report.
    TimerManager::shared().onBillingUpdate = nullptr;
    manager_->updateConsume(true);
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(window_.events[1], "end ");
    EXPECT_EQ(bodies("/consume/update_consume").back(), (json{{"status", 2}, {"consume_id", id}}));
    runAlertDelay();
    EXPECT_TRUE(alerts_->messages.empty());
}

TEST_F(MinuteBilling, StartDataIsReadAsText) {
    const std::vector<std::pair<json, std::string>> cases = {
        {"C-77", "C-77"}, {12345, "12345"}, {true, "true"}};
    for (const auto& [data, id] : cases) {
        SCOPED_TRACE(data.dump());
        service_.addApiPath("POST", "/consume/start",
                            [data](const auto&) { return Reply::ok(data); });
        window_.events.clear();
        manager_->startConsume();
        ASSERT_TRUE(waitForEvents(1));
        EXPECT_EQ(window_.events, std::vector<std::string>{"start " + id});
        EXPECT_EQ(manager_->consumeID, id);
        EXPECT_TRUE(TimerManager::shared().onBillingUpdate);
    }
}

TEST_F(MinuteBilling, StartWithoutDataMeansNoBalance) {
    for (const json& data : {json(""), json(nullptr), json::object(), json::array({"C1"})}) {
        SCOPED_TRACE(data.dump());
        service_.addApiPath("POST", "/consume/start",
                            [data](const auto&) { return Reply::ok(data); });
        window_.events.clear();
        TimerManager::shared().onBillingUpdate = [] {};  // left over from before: cleared
        manager_->startConsume();
        ASSERT_TRUE(waitForEvents(1));
        EXPECT_EQ(window_.events, std::vector<std::string>{"end 余额不足"});
        EXPECT_FALSE(TimerManager::shared().onBillingUpdate);
        EXPECT_EQ(manager_->consumeID, "");
    }
    // No "data" key at all.
    service_.addApiPath("POST", "/consume/start", [](const auto&) {
        return Reply::json(200, json{{"code", 0}});
    });
    window_.events.clear();
    manager_->startConsume();
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(window_.events, std::vector<std::string>{"end 余额不足"});
    runAlertDelay();
    EXPECT_TRUE(alerts_->messages.empty());
}

TEST_F(MinuteBilling, ARefusedStartFailsAtOnceAndTheServiceMessageFollowsInTheAlert) {
    service_.state().setBalance(kPhone, 0);  // the stand-in answers code 1005 "余额不足"
    manager_->startConsume();
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(window_.events, std::vector<std::string>{"end 订单请求失败"});
    EXPECT_TRUE(alerts_->messages.empty());  // the completion comes first
    runAlertDelay();
    EXPECT_EQ(alerts_->messages, std::vector<std::string>{"余额不足"});
    EXPECT_FALSE(TimerManager::shared().isRunning());

    const std::vector<Fault> faults = {Fault::serviceError(7, std::nullopt),
                                       Fault::serverError(false), Fault::notJson(),
                                       Fault::emptyBody()};
    for (const auto& fault : faults) {
        service_.setFault("/consume/start", fault);
        window_.events.clear();
        manager_->startConsume();
        ASSERT_TRUE(waitForEvents(1));
        EXPECT_EQ(window_.events, std::vector<std::string>{"end 订单请求失败"});
        EXPECT_EQ(manager_->consumeID, "");
    }
}

TEST_F(MinuteBilling, UpdateBeforeAStartSendsNothing) {
    TimerManager::shared().onBillingUpdate = [] {};
    manager_->updateConsume(false);
    manager_->updateConsume(true);
    EXPECT_EQ(window_.events, (std::vector<std::string>{"end 订单 ID 为空，无法更新",
                                                        "end 订单 ID 为空，无法更新"}));
    EXPECT_FALSE(TimerManager::shared().onBillingUpdate);
    // A request of its own, sent afterwards, is the first the stand-in sees.
    bool done = false;
    HttpDatas::shared().request("/goods/list", HTTPMethod::Get, std::nullopt, std::nullopt,
                                [&](auto, auto, auto) { done = true; });
    ASSERT_TRUE(test::runMainUntil([&] { return done; }));
    EXPECT_TRUE(service_.requests("/consume/update_consume").empty());
}

TEST_F(MinuteBilling, AFailedReportStopsThePeriodicReportsButNotTheFinalOne) {
    startSuccessfully();
    // Keep the clock running after the failure, as a window that has not reacted yet would.
    window_.events.clear();
    manager_->delegate = nullptr;
    service_.setFault("/consume/update_consume", Fault::serviceError(1004, "订单不存在"));
    runSessionSeconds(10);
    ASSERT_TRUE(waitForRequests("/consume/update_consume", 1));
    ASSERT_TRUE(test::runMainUntil([] { return !TimerManager::shared().onBillingUpdate; }));
    runSessionSeconds(20);
    EXPECT_EQ(service_.requests("/consume/update_consume").size(), 1u);

    manager_->delegate = &window_;
    service_.clearFaults();
    manager_->updateConsume(true);
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(window_.events, std::vector<std::string>{"end "});
    EXPECT_EQ(bodies("/consume/update_consume").back()["status"], 2);
}

TEST_F(MinuteBilling, FailedReportsTellTheWindow) {
    startSuccessfully();
    const std::vector<std::pair<bool, Fault>> cases = {
        {false, Fault::serviceError(1004, "订单不存在")},
        {true, Fault::serviceError(1004, std::nullopt)},
        {true, Fault::serverError(false)},
    };
    for (const auto& [isEnd, fault] : cases) {
        service_.setFault("/consume/update_consume", fault);
        window_.events.clear();
        manager_->updateConsume(isEnd);
        ASSERT_TRUE(waitForEvents(1));
        EXPECT_EQ(window_.events, std::vector<std::string>{"end 订单更新失败"});
        EXPECT_FALSE(TimerManager::shared().onBillingUpdate);
    }
}

TEST_F(MinuteBilling, AStartAcceptedAfterTheManagerIsGoneIsClosedWithItsFinalReport) {
    test::ConsoleCapture console;
    manager_->startConsume();
    manager_.reset();
    // A later request of the same kind. The two go out on separate connections, so their
    // replies can come in either order: wait until the client has handled both, and the final
    // report of the orphaned start.
    auto second = BillingNewManager::create();
    RecordingWindow secondWindow;
    second->delegate = &secondWindow;
    second->startConsume();
    ASSERT_TRUE(test::runMainUntil([&] {
        return !secondWindow.events.empty() && console.linesStartingWith("🍺result:") >= 3;
    }));
    MainQueue::drain();
    EXPECT_EQ(service_.requests("/consume/start").size(), 2u);
    EXPECT_TRUE(window_.events.empty());
    ASSERT_TRUE(TimerManager::shared().onBillingUpdate);  // the second manager's
    // The second manager's consumption stays open; the orphaned one is closed.
    const auto reports = service_.requests("/consume/update_consume");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].json().value("status", 0), 2);
    EXPECT_NE(reports[0].json().value("consume_id", ""), second->consumeID);
    EXPECT_FALSE(reports[0].json().value("consume_id", "").empty());

    second.reset();
    EXPECT_FALSE(TimerManager::shared().onBillingUpdate);
}

TEST_F(MinuteBilling, AStartRefusedAfterTheManagerIsGoneSendsNothingMore) {
    test::ConsoleCapture console;
    const auto handled = [&console] {
        return console.linesStartingWith("🍺result:") + console.linesStartingWith("请求错误");
    };
    const Fault refusals[] = {Fault::serviceError(1005, "余额不足"), Fault::serverError(false)};
    for (const Fault& refusal : refusals) {
        service_.setFault("/consume/start", refusal);
        const auto before = handled();
        auto gone = BillingNewManager::create();
        gone->startConsume();
        gone.reset();
        ASSERT_TRUE(test::runMainUntil([&] { return handled() > before; }));
    }
    MainQueue::drain();
    EXPECT_EQ(service_.requests("/consume/start").size(), 2u);
    EXPECT_TRUE(service_.requests("/consume/update_consume").empty());
}

TEST_F(MinuteBilling, ReleasingAManagerClearsOnlyItsOwnCallback) {
    startSuccessfully();
    {
        auto other = BillingNewManager::create();  // never started
    }
    EXPECT_TRUE(TimerManager::shared().onBillingUpdate);

    bool windowCallback = false;
    TimerManager::shared().onBillingUpdate = [&windowCallback] { windowCallback = true; };
    manager_.reset();
    ASSERT_TRUE(TimerManager::shared().onBillingUpdate);
    TimerManager::shared().onBillingUpdate();
    EXPECT_TRUE(windowCallback);
}

}  // namespace
}  // namespace pex
