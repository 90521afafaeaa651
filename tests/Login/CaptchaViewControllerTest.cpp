// The captcha page in a real web view (Qt WebEngine on the offscreen platform) loaded from the
// stand-in service: the page's script posts to "captchaHandler", the token reaches the owner
// once and the window closes; malformed messages, messages from frames inside the page and
// from a main frame on another origin are not taken; a load still running after 60 s (manual
// clock) is stopped.
//
// Chromium's own allocator does not run under AddressSanitizer, so the sanitizer build skips
// the tests that start the web engine.
#include "Login/CaptchaViewController.h"

#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdlib>

#include "LoginFixture.h"
#include "Tools/ContentWindow.h"
#include "purchase/ConsoleCapture.h"
#include "support/WebEngineTestEnvironment.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Reply;
using namespace std::chrono_literals;

const bool kWebEngineEnvironment = test::prepareWebEngineForTests();

Reply page(const std::string& html) {
    return Reply::text(200,
                       "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + html +
                           "</body></html>",
                       "text/html; charset=utf-8");
}

// Posts each body of `bodies` (JavaScript expressions) to the handler, in order.
std::string postingScript(const std::vector<std::string>& bodies) {
    std::string script = "<script>";
    for (const std::string& body : bodies) {
        script += "window.webkit.messageHandlers.captchaHandler.postMessage(" + body + ");";
    }
    return script + "</script>";
}

TEST(CaptchaValidateTokenTest, OnlyASuccessWithATextTokenCounts) {
    struct Case {
        const char* name;
        json body;
        std::optional<std::string> token;
    };
    const std::vector<Case> cases = {
        {"success", {{"type", "success"}, {"data", {{"validate", "tok"}}}}, "tok"},
        {"empty token", {{"type", "success"}, {"data", {{"validate", ""}}}}, std::nullopt},
        {"other type", {{"type", "fail"}, {"data", {{"validate", "tok"}}}}, std::nullopt},
        {"type not text", {{"type", 1}, {"data", {{"validate", "tok"}}}}, std::nullopt},
        {"token not text", {{"type", "success"}, {"data", {{"validate", 7}}}}, std::nullopt},
        {"no token", {{"type", "success"}, {"data", json::object()}}, std::nullopt},
        {"data not object", {{"type", "success"}, {"data", "tok"}}, std::nullopt},
        {"not an object", "success", std::nullopt},
        {"null", nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CaptchaViewController::validateToken(c.body), c.token);
    }
}

class CaptchaViewControllerTest : public test::LoginFixture {
  protected:
    void SetUp() override {
        if (!test::kWebEngineRuns)
            GTEST_SKIP() << "the web engine does not run under AddressSanitizer";
        LoginFixture::SetUp();
        otherPort_ = service_.addListener();
        ASSERT_NE(otherPort_, 0);
    }

    // A captcha window as the login window opens it; the tokens it reports are collected.
    void openCaptcha() {
        controller_ = new CaptchaViewController;
        controller_->onValidateReceived = [this](const std::string& token) {
            tokens_.push_back(token);
        };
        window_ = new ContentWindow(controller_);
        window_->setContentSize({400, 400});
        window_->show();
    }
    bool waitForLoad(test::ConsoleCapture& console, int loads = 1) {
        return test::runMainUntil(
            [&] { return console.linesStartingWith("✅ 页面加载完成: ") >= loads; }, 60s);
    }
    void runScript(const QString& script) {
        ASSERT_TRUE(controller_ && controller_->webView);
        controller_->webView->page()->runJavaScript(script);
    }

    int otherPort_ = 0;
    std::vector<std::string> tokens_;
    QPointer<CaptchaViewController> controller_;
    QPointer<ContentWindow> window_;
};

TEST_F(CaptchaViewControllerTest, TheStandinPageReportsItsTokenOnceAndTheWindowCloses) {
    test::ConsoleCapture console;
    openCaptcha();
    EXPECT_EQ(CaptchaViewController::pageAddress(), service_.origin() + "/");
    ASSERT_TRUE(waitForLoad(console));
    EXPECT_EQ(console.linesStartingWith("✅ 页面加载完成: " + service_.origin() + "/"), 1);
    EXPECT_EQ(requests("/").size(), 1u);

    runScript(QStringLiteral("document.getElementById('verify').click();"));
    ASSERT_TRUE(test::runMainUntil([&] { return window_.isNull(); }, 30s));
    ASSERT_EQ(tokens_.size(), 1u);
    EXPECT_EQ(tokens_[0].rfind("standin-", 0), 0u) << tokens_[0];
}

// A malformed message is logged once, cut short and without the token it may carry, however
// many the page posts; the rest are only counted when the window goes. An empty token is
// malformed too. The window stays open until a good message; of two, only the first is taken.
TEST_F(CaptchaViewControllerTest, MalformedMessagesAreLoggedOnceAndOnlyTheFirstTokenIsTaken) {
    service_.addPath("GET", "/", [](const standin::Call&) {
        return page(
            "<script>var h = window.webkit.messageHandlers.captchaHandler;"
            "h.postMessage({type: 'fail', data: {validate: 'leaked'}, note: 'a' + "
            "'长'.repeat(1e5)});"
            "h.postMessage('just text');"
            "h.postMessage({type: 'success', data: {validate: ''}});"
            "for (var i = 0; i < 1000; ++i) h.postMessage({type: 'fail'});"
            "h.postMessage({type: 'success', data: {validate: 'tok-1'}});"
            "h.postMessage({type: 'success', data: {validate: 'tok-2'}});</script>");
    });
    test::ConsoleCapture console;
    openCaptcha();
    ASSERT_TRUE(test::runMainUntil([&] { return window_.isNull(); }, 60s));
    settle();
    EXPECT_EQ(tokens_, std::vector<std::string>{"tok-1"});
    const std::string logged = "⚠️ 解析失败，数据格式不符合预期: ";
    // Cut at 200 bytes, which fall inside a character: the line keeps the whole ones before it.
    std::string cut = R"({"data":{"validate":"***"},"note":"a)";
    while (cut.size() + 3 <= 200) cut += "长";
    const std::string text = console.text();
    EXPECT_NE(text.find(logged + cut + "…\n"), std::string::npos) << text.substr(0, 1000);
    EXPECT_NE(text.find(logged + "共 1003 条消息，只记录了第一条\n"), std::string::npos);
    EXPECT_EQ(console.linesStartingWith(logged), 2);
    EXPECT_EQ(text.find("leaked"), std::string::npos);
    EXPECT_LT(text.size(), 4096u);
}

TEST_F(CaptchaViewControllerTest, FramesInsideThePageHaveNoWayToTheHandler) {
    const std::string other = service_.origin(otherPort_);
    service_.addPath("GET", "/", [other](const standin::Call&) {
        return page("<iframe src=\"/frame\"></iframe><iframe src=\"" + other +
                    "/frame\"></iframe><script>"
                    "var reports = [];"
                    "window.addEventListener('message', function (event) {"
                    "  if (!event.data || !event.data.frameDone) return;"
                    "  reports.push(event.data.report);"
                    "  if (reports.length < 2) return;"
                    "  var page = typeof qt === 'undefined' ? 'no-channel' : 'channel';"
                    "  document.title = 'frames:' + reports.sort().join(',') + ';page:' + page;"
                    "});</script>");
    });
    service_.addPath("GET", "/frame", [](const standin::Call&) {
        return page(
            "<script>"
            "var body = {type: 'success', data: {validate: 'frame-token'}};"
            "var handler = window.webkit && window.webkit.messageHandlers &&"
            "  window.webkit.messageHandlers.captchaHandler;"
            "if (handler) handler.postMessage(body);"
            "parent.postMessage(body, '*');"
            "var report = (handler ? 'handler' : 'no-handler') + '/' +"
            "  (typeof qt === 'undefined' ? 'no-channel' : 'channel');"
            "parent.postMessage({frameDone: true, report: report}, '*');"
            "</script>");
    });
    openCaptcha();
    ASSERT_TRUE(test::runMainUntil(
        [&] { return controller_ && controller_->webView->title().startsWith("frames:"); }, 60s));
    EXPECT_EQ(controller_->webView->title().toStdString(),
              "frames:no-handler/no-channel,no-handler/no-channel;page:no-channel");
    settle();
    EXPECT_TRUE(tokens_.empty());
    ASSERT_FALSE(window_.isNull());

    // The page's own frame still gets through.
    runScript(
        QStringLiteral("window.webkit.messageHandlers.captchaHandler.postMessage("
                       "{type: 'success', data: {validate: 'main-token'}});"));
    ASSERT_TRUE(test::runMainUntil([&] { return window_.isNull(); }, 30s));
    EXPECT_EQ(tokens_, std::vector<std::string>{"main-token"});
}

TEST_F(CaptchaViewControllerTest, AMainFrameOnAnotherOriginIsNotListenedTo) {
    const std::string other = service_.origin(otherPort_);
    service_.addPath("GET", "/", [other](const standin::Call&) {
        return page("<script>location.href = '" + other + "/elsewhere';</script>");
    });
    service_.addPath("GET", "/elsewhere", [](const standin::Call&) {
        return page(postingScript({"{type: 'success', data: {validate: 'foreign-token'}}"}));
    });
    service_.addPath("GET", "/back", [](const standin::Call&) {
        return page(postingScript({"{type: 'success', data: {validate: 'good-token'}}"}));
    });
    test::ConsoleCapture console;
    openCaptcha();
    ASSERT_TRUE(test::runMainUntil(
        [&] {
            return console.linesStartingWith(
                       "⚠️ 已忽略不是验证页面主框架发来的消息") > 0 ||
                   !tokens_.empty();
        },
        60s));
    settle();
    EXPECT_TRUE(tokens_.empty());
    ASSERT_FALSE(window_.isNull());
    EXPECT_EQ(controller_->webView->url().port(), otherPort_);

    controller_->webView->load(QUrl(QString::fromStdString(service_.origin() + "/back")));
    ASSERT_TRUE(test::runMainUntil([&] { return window_.isNull(); }, 60s));
    EXPECT_EQ(tokens_, std::vector<std::string>{"good-token"});
}

TEST_F(CaptchaViewControllerTest, ALoadStillRunningAfterSixtySecondsIsStopped) {
    service_.setFault("/", standin::Fault::slow(20s));
    test::ConsoleCapture console;
    openCaptcha();
    std::vector<bool> finished;
    QObject::connect(controller_->webView, &QWebEngineView::loadFinished,
                     [&](bool ok) { finished.push_back(ok); });
    waitForRequest("/");
    advance(CaptchaViewController::kLoadTimeout - 1s);
    EXPECT_TRUE(finished.empty());
    advance(1s);
    ASSERT_TRUE(test::runMainUntil([&] { return !finished.empty(); }, 10s));
    EXPECT_EQ(finished, std::vector<bool>{false});
    EXPECT_EQ(console.linesStartingWith("✅ 页面加载完成"), 0);
    EXPECT_FALSE(window_.isNull());  // the user closes it
    EXPECT_TRUE(tokens_.empty());
}

}  // namespace
}  // namespace pex
