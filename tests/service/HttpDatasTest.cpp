// The service client against the local stand-in service over real HTTP on 127.0.0.1. Alerts
// and the login window go through recording fakes; the alert delay runs on the manual clock.
#include "service/HttpDatas.h"

#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "service/SettingsStore.h"
#include "standin-service/RawHttpCapture.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;
using standin::RawHttpCapture;
using standin::StandinService;
using namespace std::chrono_literals;

constexpr const char* kPhone = "13800138000";

struct Outcome {
    std::optional<bool> failed;
    std::optional<json> reply;
    std::optional<std::string> message;
};

// What the user would see, in the order it happened.
using EventLog = std::vector<std::string>;

class RecordingAlerts : public ServiceAlertPresenter {
  public:
    explicit RecordingAlerts(EventLog& log) : log_(log) {}
    void presentAlert(const std::string& message, const std::string& informativeText) override {
        EXPECT_TRUE(MainQueue::isMainThread());
        log_.push_back("alert " + message + " | " + informativeText);
    }

  private:
    EventLog& log_;
};

class CountingLoginWindow : public SessionExpiryHandler {
  public:
    void presentLogin(const std::function<void()>& clearStoredLogin) override {
        tokenWhenClosing = SettingsStore::string(SettingsKeys::loginToken);
        clearStoredLogin();
        ++opened;
    }
    std::optional<std::string> tokenWhenClosing;
    bool isLoginPresented() const override {
        ++asked;  // every 401 reply asks first, so this shows that one was handled
        return opened > 0 && !dismissed;
    }
    int opened = 0;
    bool dismissed = false;
    mutable int asked = 0;
};

class HttpDatasTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        MainQueue::adoptCurrentThreadAsMain();
        ASSERT_NE(service_.start(), 0);
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        resetApiBaseURL();
        HttpDatas::shared().setAlertPresenter(std::make_shared<RecordingAlerts>(events_));
        HttpDatas::shared().setSessionExpiryHandler(loginWindow_);
    }
    void TearDown() override {
        MainQueue::drain();
        HttpDatas::shared().setAlertPresenter(nullptr);
        HttpDatas::shared().setSessionExpiryHandler(nullptr);
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
    }

    void signIn() {
        SettingsStore::set(SettingsKeys::loginToken, service_.state().issueToken(kPhone));
    }

    // Sends a request and runs the main queue until its completion ran (or `expectCompletion`
    // is false and the service has answered).
    Outcome send(const std::string& path, HTTPMethod method = HTTPMethod::Get,
                 std::optional<json> parameters = std::nullopt,
                 std::optional<double> timeout = std::nullopt) {
        std::optional<Outcome> outcome;
        HttpDatas::shared().request(
            path, method, std::move(parameters), timeout,
            [&](std::optional<bool> failed, std::optional<json> reply,
                std::optional<std::string> message) {
                EXPECT_TRUE(MainQueue::isMainThread());
                events_.push_back("completion");
                outcome = Outcome{failed, std::move(reply), std::move(message)};
            });
        EXPECT_TRUE(test::runMainUntil([&] { return outcome.has_value(); })) << path;
        return outcome.value_or(Outcome{});
    }

    // Sends a request answered with HTTP 401, whose completion must never run; returns once
    // the reply was handled.
    void sendExpectingLoginEnd(const std::string& path) {
        bool called = false;
        const int asked = loginWindow_->asked;
        HttpDatas::shared().request(path, HTTPMethod::Get, std::nullopt, std::nullopt,
                                    [&](auto, auto, auto) { called = true; });
        ASSERT_TRUE(test::runMainUntil([&] { return loginWindow_->asked > asked; }));
        MainQueue::drain();
        EXPECT_FALSE(called);
    }

    // Lets the delayed alerts come due: nothing at 249 ms, everything at 250 ms.
    void runAlertDelay() {
        MainQueue::drain();
        manual_.clock().advance(HttpDatas::kAlertDelay - 1ms);
        MainQueue::drain();
        alertsBeforeDelay_ = alertCount();
        manual_.clock().advance(1ms);
        MainQueue::drain();
    }
    std::size_t alertCount() const {
        return std::count_if(events_.begin(), events_.end(),
                             [](const std::string& e) { return e.rfind("alert", 0) == 0; });
    }

    ScopedManualClock manual_;
    StandinService service_;
    EventLog events_;
    std::size_t alertsBeforeDelay_ = 0;
    std::shared_ptr<CountingLoginWindow> loginWindow_ = std::make_shared<CountingLoginWindow>();
};

TEST_F(HttpDatasTest, GetCarriesParametersInTheQueryAndOtherMethodsInAJsonBody) {
    signIn();
    const json parameters = {{"page_num", 1},
                             {"name", "张 三&"},
                             {"on", true},
                             {"ids", {1, 2}},
                             {"filter", {{"k", "v"}}}};
    send("/consume/page", HTTPMethod::Get, parameters);
    auto recorded = service_.requests("/consume/page").back();
    EXPECT_EQ(recorded.method, "GET");
    EXPECT_EQ(recorded.query,
              "filter%5Bk%5D=v&ids%5B%5D=1&ids%5B%5D=2&name=%E5%BC%A0%20%E4%B8%89%26&on=1&"
              "page_num=1");
    EXPECT_TRUE(recorded.body.empty());

    send("/consume/page", HTTPMethod::Post, parameters);
    recorded = service_.requests("/consume/page").back();
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_TRUE(recorded.query.empty());
    EXPECT_EQ(recorded.json(), parameters);

    send("/user/change_user_type/4", HTTPMethod::Put);
    recorded = service_.requests("/user/change_user_type/*").back();
    EXPECT_EQ(recorded.method, "PUT");
    EXPECT_TRUE(recorded.query.empty());
    EXPECT_TRUE(recorded.body.empty());
}

TEST_F(HttpDatasTest, SixHeadersInOrderWithTheStoredToken) {
    RawHttpCapture capture;
    SettingsStore::set(SettingsKeys::fuwuqiKey, capture.origin() + "/api/v1");
    SettingsStore::set(SettingsKeys::loginToken, "tok-123");
    send("/user/info");
    const auto heads = capture.heads();
    ASSERT_EQ(heads.size(), 1u);
    std::vector<std::string> ours;
    for (const auto& name : RawHttpCapture::headerNames(heads[0])) {
        if (name != "Host" && name != "Accept-Encoding" && name != "Connection")
            ours.push_back(name);
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"Version", "Accept", "Content-Type", "platform",
                                              "lan", "Authorization"}));
    for (const char* line :
         {"Version: 1.0\r\n", "Accept: application/json\r\n", "Content-Type: application/json\r\n",
          "platform: macOS_WebSite\r\n", "lan: zh-Hans\r\n", "Authorization: Bearer tok-123\r\n"}) {
        EXPECT_NE(heads[0].find(line), std::string::npos) << line;
    }
}

TEST_F(HttpDatasTest, TokenHeaderFollowsWhatIsStored) {
    RawHttpCapture capture;
    SettingsStore::set(SettingsKeys::fuwuqiKey, capture.origin());
    send("/a");  // nothing stored: five headers, no Authorization
    SettingsStore::set(SettingsKeys::loginToken, "");
    send("/b");  // an empty stored token: "Bearer " alone
    const auto heads = capture.heads();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads[0].find("Authorization"), std::string::npos);
    EXPECT_EQ(RawHttpCapture::headerNames(heads[0]).size(),
              RawHttpCapture::headerNames(heads[1]).size() - 1);
    EXPECT_NE(heads[1].find("Authorization: Bearer \r\n"), std::string::npos);
}

TEST_F(HttpDatasTest, AddressComesFromTheOverrideTheBaseOrTheAbsolutePath) {
    signIn();
    send("/country/list");
    EXPECT_EQ(service_.requests().back().path, "/api/v1/country/list");

    // The base is read afresh by each request.
    const int otherPort = service_.addListener();
    setApiBaseURL(service_.origin(otherPort) + "/api/v1");
    send("/country/list");
    EXPECT_EQ(service_.requests().back().localPort, otherPort);

    // The override is used as it is: nothing appended, no "/api/v1" added.
    SettingsStore::set(SettingsKeys::fuwuqiKey, service_.origin() + "/gateway");
    send("/country/list");
    EXPECT_EQ(service_.requests().back().path, "/gateway/country/list");
    SettingsStore::remove(SettingsKeys::fuwuqiKey);

    // An absolute address under the service base goes out unchanged, headers and token included.
    resetApiBaseURL();
    send(service_.apiBase() + "/operation/version");
    const auto absolute = service_.requests().back();
    EXPECT_EQ(absolute.path, "/api/v1/operation/version");
    EXPECT_EQ(absolute.header("platform"), "macOS_WebSite");
    EXPECT_TRUE(absolute.header("Authorization"));
}

TEST_F(HttpDatasTest, TokenIsNotSentToOtherHosts) {
    signIn();
    const int staticPort = service_.addListener();  // the static-file host
    send(service_.origin(staticPort) + "/meeting-network.json");
    const auto toStatic = service_.requests("/meeting-network.json").back();
    EXPECT_EQ(toStatic.localPort, staticPort);
    EXPECT_FALSE(toStatic.header("Authorization"));
    EXPECT_EQ(toStatic.header("lan"), "zh-Hans");  // the other service headers still go

    // Same host but outside the API path, or a look-alike path, is not the service either.
    for (const std::string& address :
         {service_.origin() + "/meeting-network.json", service_.apiBase() + "x/country/list",
          service_.origin() + "/api/v1/../meeting-network.json"}) {
        send(address);
        EXPECT_FALSE(service_.requests().back().header("Authorization")) << address;
    }
}

TEST_F(HttpDatasTest, ReplyEnvelopeGivesTheThreeValuedOutcome) {
    struct Case {
        const char* name;
        Fault fault;
        std::optional<bool> failed;
        std::optional<std::string> message;
        bool alert;
    };
    const Case cases[] = {
        {"code 0", Fault::httpStatus(200, R"({"code":0,"message":"ok","data":"C1"})"), false,
         std::nullopt, false},
        {"service error with message", Fault::serviceError(1005, "余额不足"), true, "余额不足",
         true},
        {"service error without message", Fault::serviceError(1005, std::nullopt), true, "", false},
        {"no code counts as success", Fault::httpStatus(200, R"({"data":[1]})"), false,
         std::nullopt, false},
        {"bare string", Fault::httpStatus(200, R"("hello")"), true,
         HttpDatas::kMalformedReplyMessage, true},
        {"bare number", Fault::httpStatus(200, "42"), true, HttpDatas::kMalformedReplyMessage,
         true},
        {"bare array", Fault::httpStatus(200, "[0]"), true, HttpDatas::kMalformedReplyMessage,
         true},
        {"code as numeric text", Fault::httpStatus(200, R"({"code":"7","message":"m"})"), true, "m",
         true},
        {"error status judged by its code", Fault::httpStatus(500, R"({"code":0})"), false,
         std::nullopt, false},
        {"500 with an envelope", Fault::serverError(true), true, "服务器内部错误", true},
        {"502 without code", Fault::httpStatus(502, R"({"message":"网关错误"})"), true, "网关错误",
         true},
        {"502 without code or message", Fault::httpStatus(502, "{}"), true,
         "HTTP/1.1 502 Bad Gateway", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events_.clear();
        service_.setFault("/operation/version", c.fault);
        const Outcome outcome = send("/operation/version");
        EXPECT_EQ(outcome.failed, c.failed);
        ASSERT_TRUE(outcome.reply);
        EXPECT_EQ(*outcome.reply, json::parse(*c.fault.body));
        EXPECT_EQ(outcome.message, c.message);
        runAlertDelay();
        EXPECT_EQ(alertsBeforeDelay_, 0u);
        if (c.alert) {
            EXPECT_EQ(events_, (EventLog{"completion", "alert " + *c.message + " | "}));
        } else {
            EXPECT_EQ(events_, EventLog{"completion"});
        }
    }
}

TEST_F(HttpDatasTest, RepliesThatDoNotDecodeAreSilentTransportFailures) {
    for (const Fault& fault : {Fault::notJson(), Fault::emptyBody(), Fault::serverError(false),
                               Fault::httpStatus(401, ""), Fault::httpStatus(401, "<html/>")}) {
        events_.clear();
        SettingsStore::set(SettingsKeys::loginToken, "kept");
        service_.setFault("/operation/version", fault);
        const Outcome outcome = send("/operation/version");
        EXPECT_EQ(outcome.failed, std::nullopt) << *fault.body;
        EXPECT_EQ(outcome.reply, std::nullopt);
        ASSERT_TRUE(outcome.message);
        EXPECT_FALSE(outcome.message->empty());
        runAlertDelay();
        EXPECT_EQ(events_, EventLog{"completion"}) << *fault.body;
        EXPECT_EQ(SettingsStore::string(SettingsKeys::loginToken), "kept");
        EXPECT_EQ(loginWindow_->opened, 0);
    }
}

TEST_F(HttpDatasTest, FailedTransfersAlertWithTheAddressAfterTheCompletion) {
    service_.setFault("/slow", Fault::slow(10s));
    service_.setFault("/dropped", Fault::droppedConnection());
    // A port nothing listens on: the stand-in's own, once stopped.
    StandinService gone;
    const int closedPort = gone.start();
    gone.stop();
    struct Case {
        std::string address;
        std::optional<double> timeout;
        std::string alert;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(closedPort) + "/api/v1/user/info", std::nullopt,
         "无法连接到服务器，请稍后再试"},
        {service_.apiBase() + "/slow", 0.3, "请求超时，请重试"},
        {service_.apiBase() + "/dropped", std::nullopt, "请求失败：网络连接已中断。"},
    };
    for (const Case& c : cases) {
        events_.clear();
        const Outcome outcome = send(c.address, HTTPMethod::Get, json{{"page", 2}}, c.timeout);
        EXPECT_EQ(outcome.failed, std::nullopt);
        EXPECT_EQ(outcome.reply, std::nullopt);
        EXPECT_TRUE(outcome.message && !outcome.message->empty());
        runAlertDelay();
        EXPECT_EQ(alertsBeforeDelay_, 0u);
        EXPECT_EQ(events_,
                  (EventLog{"completion", "alert " + c.alert + " | " + c.address + "?page=2"}));
    }
}

TEST_F(HttpDatasTest, AlertsAskedForOffTheMainThreadShowOnIt) {
    std::thread([] {
        HttpDatas::shared().showErrorAlert("请求超时，请重试", "http://127.0.0.1:9/x");
        HttpDatas::shared().showMessageAlert("余额不足");
    }).join();
    EXPECT_EQ(alertCount(), 0u);
    MainQueue::drain();
    EXPECT_EQ(events_,
              (EventLog{"alert 请求超时，请重试 | http://127.0.0.1:9/x", "alert 余额不足 | "}));
}

TEST_F(HttpDatasTest, Http401EndsTheLoginOnceAndNeverCallsTheCompletion) {
    signIn();
    SettingsStore::set(SettingsKeys::userInfo, json{{"user_code", "PX1"}});
    SettingsStore::set(SettingsKeys::isAutoLogin, true);
    service_.setFault("/user/info", Fault::httpStatus(401, R"({"code":0,"message":"过期"})"));

    sendExpectingLoginEnd("/user/info");
    EXPECT_FALSE(SettingsStore::string(SettingsKeys::loginToken));
    EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::userInfo));
    EXPECT_TRUE(SettingsStore::boolean(SettingsKeys::isAutoLogin));
    EXPECT_EQ(loginWindow_->opened, 1);
    // The windows close while the token is still there, so a running session can still
    // send its final usage report.
    EXPECT_TRUE(loginWindow_->tokenWhenClosing);

    // While that login window is up, a second 401 opens nothing more and touches nothing.
    SettingsStore::set(SettingsKeys::loginToken, "signed-in-again");
    sendExpectingLoginEnd("/user/info");
    EXPECT_EQ(loginWindow_->opened, 1);
    EXPECT_EQ(SettingsStore::string(SettingsKeys::loginToken), "signed-in-again");

    // Once it is gone, the next 401 ends the login again.
    loginWindow_->dismissed = true;
    sendExpectingLoginEnd("/user/info");
    EXPECT_EQ(loginWindow_->opened, 2);
    EXPECT_FALSE(SettingsStore::string(SettingsKeys::loginToken));

    runAlertDelay();
    EXPECT_EQ(alertCount(), 0u);
}

TEST_F(HttpDatasTest, Http401FromAnotherHostIsAnOrdinaryFailure) {
    signIn();
    const int staticPort = service_.addListener();  // the static-file host
    service_.setFault("/meeting-network.json", Fault::unauthorized());
    for (const std::string& address : {service_.origin(staticPort) + "/meeting-network.json",
                                       service_.origin() + "/meeting-network.json"}) {
        events_.clear();
        const Outcome outcome = send(address);
        EXPECT_EQ(outcome.failed, true) << address;
        runAlertDelay();
        EXPECT_EQ(loginWindow_->opened, 0) << address;
        EXPECT_TRUE(SettingsStore::string(SettingsKeys::loginToken)) << address;
    }
}

TEST_F(HttpDatasTest, OversizedRepliesFailWithoutBeingRead) {
    std::string body = R"({"code":0,"data":")";
    body.append(HttpDatas::kMaximumReplyBytes, 'x');
    body += R"("})";
    service_.setFault("/operation/version", Fault::httpStatus(200, body));
    const Outcome outcome = send("/operation/version");
    EXPECT_EQ(outcome.failed, std::nullopt);
    EXPECT_EQ(outcome.reply, std::nullopt);
    runAlertDelay();
    EXPECT_EQ(alertCount(), 1u);
}

TEST_F(HttpDatasTest, ConsoleShowsTheExchangeButNoSecrets) {
    testing::internal::CaptureStdout();
    send("/user/send_sms_code", HTTPMethod::Post,
         json{{"country_code", "86"}, {"phone", kPhone}, {"data", "captcha-secret-1"}});
    const Outcome login = send("/user/login", HTTPMethod::Post,
                               json{{"country_code", "86"},
                                    {"osRegister", "mac-official"},
                                    {"phone", kPhone},
                                    {"code", standin::StandinState::kSmsCode}});
    send("/user/account/login", HTTPMethod::Post,
         json{{"phone", kPhone}, {"password", "pass-secret-2"}});
    SettingsStore::set(SettingsKeys::loginToken, login.reply->at("data").at("token"));
    const Outcome credential = send("/ai/token");
    const std::string output = testing::internal::GetCapturedStdout();

    const std::string token = login.reply->at("data").at("token");
    const std::string key = credential.reply->at("data");
    for (const std::string& secret : {std::string("captcha-secret-1"), std::string("pass-secret-2"),
                                      std::string("\"123456\""), token, key}) {
        EXPECT_EQ(output.find(secret), std::string::npos) << secret;
    }
    EXPECT_NE(output.find("🚀url:" + service_.apiBase() + "/user/login\n"), std::string::npos);
    EXPECT_NE(output.find(R"(params:{"code":"***","country_code":"86")"), std::string::npos);
    EXPECT_NE(output.find(R"("token": "***")"), std::string::npos);
    EXPECT_NE(output.find("🍺result:{\n  \"code\": 0,"), std::string::npos);
    EXPECT_NE(output.find(R"("phone": "13800138000")"), std::string::npos);  // not a secret
}

class UploadTest : public HttpDatasTest {
  protected:
    Outcome upload(const std::filesystem::path& file, const std::string& key) {
        std::optional<Outcome> outcome;
        HttpDatas::shared().uploadFile(file, key, [&](auto failed, auto reply, auto message) {
            outcome = Outcome{failed, std::move(reply), std::move(message)};
        });
        EXPECT_TRUE(test::runMainUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(Outcome{});
    }
    std::filesystem::path makeFile(const std::string& name, std::size_t size = 2048) {
        const auto path = root() / name;
        std::ofstream(path, std::ios::binary) << std::string(size, 'r');
        return path;
    }
};

TEST_F(UploadTest, UploadsTheFormToTheProviderWithItsOwnHeaderOnly) {
    const int providerPort = service_.addListener();
    DeploymentSettings::current().aiProviderOrigin = *Origin::parse(service_.origin(providerPort));
    signIn();
    const std::string key = service_.state().issueProviderKey();

    const Outcome outcome = upload(makeFile("我的简历.docx"), key);
    EXPECT_EQ(outcome.failed, false);
    EXPECT_EQ(outcome.message, "");
    ASSERT_TRUE(outcome.reply);
    EXPECT_EQ(outcome.reply->at("filename"), "我的简历.docx");
    EXPECT_EQ(outcome.reply->at("id").get<std::string>().rfind("file-", 0), 0u);

    const auto sent = service_.requests(HttpDatas::kUploadPath).back();
    EXPECT_EQ(sent.localPort, providerPort);
    EXPECT_EQ(sent.header("Authorization"), "Bearer " + key);
    for (const char* serviceHeader : {"Version", "platform", "lan"}) {
        EXPECT_FALSE(sent.header(serviceHeader)) << serviceHeader;
    }
    ASSERT_EQ(sent.parts.size(), 2u);
    EXPECT_EQ(sent.parts[0].name, "file");
    EXPECT_EQ(sent.parts[0].size, 2048u);
    EXPECT_EQ(sent.parts[1].name, "purpose");
    EXPECT_EQ(sent.parts[1].content, "file-extract");
    EXPECT_TRUE(sent.parts[1].fileName.empty());
}

TEST_F(UploadTest, MimeTypeFollowsTheExtension) {
    const std::string key = service_.state().issueProviderKey();
    const std::string word =
        "application/vnd.openxmlformats-officedocument.wordprocessingml.document";
    const std::pair<const char*, std::string> cases[] = {
        {"a.pdf", "application/pdf"},    {"b.PDF", "application/pdf"},
        {"c.doc", "application/msword"}, {"d.docx", word},
        {"e.png", "image/png"},          {"f.JPG", "image/jpeg"},
        {"g.jpeg", "image/jpeg"},        {"h.txt", word},
        {"noextension", word},
    };
    for (const auto& [name, type] : cases) {
        upload(makeFile(name), key);
        EXPECT_EQ(service_.requests(HttpDatas::kUploadPath).back().parts.at(0).contentType, type)
            << name;
    }
}

TEST_F(UploadTest, FailuresGiveRequestFailedAndErrorObjectsOnSuccessPassThrough) {
    const auto file = makeFile("cv.pdf");
    const Outcome wrongKey = upload(file, "not-a-key");  // the provider answers 401 with JSON
    EXPECT_EQ(wrongKey.failed, std::nullopt);
    EXPECT_EQ(wrongKey.reply, std::nullopt);
    EXPECT_EQ(wrongKey.message, "请求失败");

    const std::string key = service_.state().issueProviderKey();
    service_.setFault(HttpDatas::kUploadPath, Fault::serverError(true).times(1));
    EXPECT_EQ(upload(file, key).message, "请求失败");
    service_.setFault(HttpDatas::kUploadPath, Fault::notJson().times(1));
    EXPECT_EQ(upload(file, key).message, "请求失败");
    // A file that is not there is refused before anything is sent.
    const std::size_t sent = service_.requests(HttpDatas::kUploadPath).size();
    EXPECT_EQ(upload(root() / "missing.pdf", key).message, "文件不存在，无法上传");
    EXPECT_EQ(service_.requests(HttpDatas::kUploadPath).size(), sent);

    const std::string errorObject = R"({"error":{"message":"文件格式不支持"}})";
    service_.setFault(HttpDatas::kUploadPath, Fault::httpStatus(200, errorObject).times(1));
    const Outcome passed = upload(file, key);
    EXPECT_EQ(passed.failed, false);
    EXPECT_EQ(passed.reply, json::parse(errorObject));
    EXPECT_EQ(passed.message, "");

    runAlertDelay();
    EXPECT_EQ(alertCount(), 0u);  // the upload shows nothing itself
}

}  // namespace
}  // namespace pex
