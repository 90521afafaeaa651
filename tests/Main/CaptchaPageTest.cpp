// The login window's side of the captcha helper, with real processes: stand-in helpers (small
// shell scripts) that answer, close, fail, die or break the protocol, and the real helper on
// the offscreen platform against the stand-in service's page. The login window's process
// itself never maps the web engine or a GL driver, before or after the captcha page.
#include "Login/CaptchaPage.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <csignal>
#include <fstream>
#include <optional>
#include <regex>

#include "Login/LoginFixture.h"
#include "Login/LoginViewController.h"
#include "Tools/ContentWindow.h"
#include "purchase/ConsoleCapture.h"
#include "support/WebEngineTestEnvironment.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using namespace std::chrono_literals;

// The libraries of this process that are the web engine or a GL driver (the vendor-neutral
// GL dispatch libraries that the GUI library links are not drivers).
std::vector<std::string> heavyLibrariesMapped() {
    static const std::regex heavy(
        R"(libQt6WebEngine|libGL\.so|libGLX_|libEGL_|_dri\.so|libglapi|libgallium|libLLVM)");
    std::ifstream maps("/proc/self/maps");
    std::vector<std::string> found;
    std::string line;
    while (std::getline(maps, line)) {
        if (!std::regex_search(line, heavy)) continue;
        const std::string path = line.substr(line.find('/'));
        if (std::find(found.begin(), found.end(), path) == found.end()) found.push_back(path);
    }
    return found;
}

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

class CaptchaPageTest : public test::LoginFixture {
  protected:
    void TearDown() override {
        CaptchaPage::setHelperPath({});
        LoginFixture::TearDown();
    }

    // The built helper, started as a test machine can run it (no sandbox as root, no GPU);
    // false where web views do not run. This process itself sets up nothing for web views.
    static bool useTheRealHelper() {
        if (!test::kWebEngineRuns) return false;
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
        ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox", 0);
        CaptchaPage::setHelperPath(QStringLiteral(PEX_CAPTCHA_HELPER));
        return true;
    }

    // A stand-in helper: `script` after a line that saves what the login window sent first.
    QString fakeHelper(const std::string& script) {
        const std::string path = (root() / "fake-helper").string();
        std::ofstream file(path);
        file << "#!/bin/sh\nIFS= read -r line\nprintf '%s' \"$line\" > '"
             << (root() / "received").string() << "'\n"
             << script << "\n";
        file.close();
        ::chmod(path.c_str(), 0700);
        return QString::fromStdString(path);
    }
    std::string received() const {
        std::ifstream file(root() / "received");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // A page on `helper`, its tokens and failures collected.
    CaptchaPage* open(const QString& helper) {
        CaptchaPage::setHelperPath(helper);
        page_ = new CaptchaPage;
        page_->onValidateReceived = [this](const std::string& token) { tokens_.push_back(token); };
        page_->onFailed = [this] { ++failures_; };
        page_->show();
        return page_;
    }

    QPointer<CaptchaPage> page_;
    std::vector<std::string> tokens_;
    int failures_ = 0;
};

TEST_F(CaptchaPageTest, TheHelpersAnswerEndsThePageAndOnlySilenceOrNonsenseIsAFailure) {
    const std::string longLine(CaptchaPipe::kMaxLineBytes + 10, 'a');
    struct Case {
        const char* name;
        std::string script;
        std::vector<std::string> tokens;
        int failures;
    };
    const std::vector<Case> cases = {
        {"token", R"(echo '{"type":"validate","validate":"tok-1"}')", {"tok-1"}, 0},
        {"one token only",
         R"(echo '{"type":"validate","validate":"a"}'; echo '{"type":"validate","validate":"b"}')",
         {"a"},
         0},
        {"token, then dies", R"(echo '{"type":"validate","validate":"t"}'; kill -9 $$)", {"t"}, 0},
        {"closed by the user", R"(echo '{"type":"closed"}')", {}, 0},
        {"unknown lines are skipped",
         "echo '{\"type\":\"later\"}'; echo '{\"type\":\"closed\"}'",
         {},
         0},
        {"fails", R"(echo '{"type":"failed","reason":"no page"}'; sleep 30)", {}, 1},
        {"ends silently", "exit 0", {}, 1},
        {"ends with a status", "exit 3", {}, 1},
        {"dies", "kill -9 $$", {}, 1},
        {"not JSON", "echo 'validate tok'; sleep 30", {}, 1},
        {"empty token", R"(echo '{"type":"validate","validate":""}'; sleep 30)", {}, 1},
        {"no token", R"(echo '{"type":"validate"}'; sleep 30)", {}, 1},
        {"control characters",
         R"(printf '{"type":"validate","validate":"a\\u0007"}\n'; sleep 30)",
         {},
         1},
        {"a line without end", "printf '" + longLine + "'; sleep 30", {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tokens_.clear();
        failures_ = 0;
        test::ConsoleCapture console;
        open(fakeHelper(c.script));
        ASSERT_TRUE(test::runMainUntil([&] {
            settle();
            return page_.isNull();
        }));
        EXPECT_EQ(tokens_, c.tokens);
        EXPECT_EQ(failures_, c.failures);
        EXPECT_EQ(console.linesStartingWith("⚠️ 验证码页面失败: "), c.failures);
        EXPECT_EQ(received(), R"({"origin":")" + service_.origin() + R"(","type":"show"})");
    }
}

TEST_F(CaptchaPageTest, AHelperThatCannotStartIsAFailure) {
    test::ConsoleCapture console;
    open(QString::fromStdString((root() / "missing").string()));
    ASSERT_TRUE(test::runMainUntil([&] {
        settle();
        return page_.isNull();
    }));
    EXPECT_EQ(failures_, 1);
    EXPECT_TRUE(tokens_.empty());
    EXPECT_EQ(console.linesStartingWith("⚠️ 验证码页面失败: 无法启动"), 1);
}

// Deleting the page (its login window went) closes the helper's input; a helper that does not
// go then is stopped after the wait.
TEST_F(CaptchaPageTest, DeletingThePageEndsItsHelper) {
    const std::string ended = (root() / "ended").string();
    open(fakeHelper("cat >/dev/null; touch '" + ended + "'"));
    ASSERT_TRUE(test::runMainUntil([&] { return !received().empty(); }));
    const qint64 polite = page_->helperProcessId();
    delete page_.data();
    ASSERT_TRUE(test::runMainUntil([&] { return QFile::exists(QString::fromStdString(ended)); }));
    EXPECT_TRUE(test::runMainUntil([&] { return processGone(polite); }));
    EXPECT_EQ(failures_, 0);

    QFile::remove(QString::fromStdString((root() / "received").string()));
    open(fakeHelper("trap '' TERM; while :; do sleep 1; done"));
    ASSERT_TRUE(test::runMainUntil([&] { return !received().empty(); }));
    const qint64 stubborn = page_->helperProcessId();
    delete page_.data();
    settle();
    EXPECT_FALSE(processGone(stubborn));
    advance(CaptchaPage::kStopWait);
    EXPECT_TRUE(test::runMainUntil([&] {
        settle();
        return processGone(stubborn);
    }));
}

// The login window's send button through the real helper: the page's token goes to
// "/user/send_sms_code", the countdown starts, and this process has loaded no web engine and
// no GL driver on the way.
TEST_F(CaptchaPageTest, TheLoginWindowSendsTheCodeWithTheHelpersTokenAndLoadsNoGl) {
    if (!useTheRealHelper()) GTEST_SKIP() << "the web engine does not run under AddressSanitizer";
    service_.addPath("GET", "/", [](const standin::Call&) {
        return standin::Reply::text(200,
                                    "<!DOCTYPE html><html><body><script>"
                                    "window.webkit.messageHandlers.captchaHandler.postMessage("
                                    "{type: 'success', data: {validate: 'standin-helper'}});"
                                    "</script></body></html>",
                                    "text/html; charset=utf-8");
    });
    auto* login = new LoginViewController;
    QPointer<ContentWindow> loginWindow = new ContentWindow(login);
    loginWindow->setContentSize({510, 480});
    loginWindow->show();
    ApplicationWindows::setDelegateWindow(loginWindow);
    EXPECT_EQ(heavyLibrariesMapped(), std::vector<std::string>{});
    login->phoneLabel->setText(QStringLiteral("13800138000"));
    test::ConsoleCapture console;
    test::click(login->sendCodeButton);

    const auto sent = waitForRequest("/user/send_sms_code");
    EXPECT_EQ(sent.json().value("phone", ""), "13800138000");
    EXPECT_EQ(sent.json().value("data", ""), "standin-helper");
    ASSERT_TRUE(test::runMainUntil([&] { return !login->sendCodeButton->isEnabled(); }, 30s));
    EXPECT_EQ(login->sendCodeButton->text(), QStringLiteral("60s 后可重试"));
    EXPECT_EQ(console.linesStartingWith("✅ 收到验证码 validate: ***"), 1);
    EXPECT_TRUE(login->findChildren<CaptchaPage*>().empty() ||
                test::runMainUntil([&] { return login->findChildren<CaptchaPage*>().empty(); }));
    EXPECT_EQ(heavyLibrariesMapped(), std::vector<std::string>{});
    settle();
    EXPECT_EQ(hudText(), QStringLiteral("验证码已发送"));  // the service's reply, no failure
}

// A helper that ends without an answer leaves the login window saying so, and usable.
TEST_F(CaptchaPageTest, TheLoginWindowSaysSoWhenItsHelperFails) {
    CaptchaPage::setHelperPath(fakeHelper("exit 1"));
    auto* login = new LoginViewController;
    QPointer<ContentWindow> loginWindow = new ContentWindow(login);
    loginWindow->show();
    ApplicationWindows::setDelegateWindow(loginWindow);
    login->phoneLabel->setText(QStringLiteral("13800138000"));
    test::click(login->sendCodeButton);
    ASSERT_TRUE(test::runMainUntil(
        [&] { return hudText() == QStringLiteral("验证码页面加载失败，请稍后重试"); }));
    EXPECT_TRUE(login->sendCodeButton->isEnabled());
    EXPECT_TRUE(requests("/user/send_sms_code").empty());
}

// The page's window in the helper outlives nothing: the login window going ends the helper.
TEST_F(CaptchaPageTest, TheRealHelperEndsWithItsLoginWindow) {
    if (!useTheRealHelper()) GTEST_SKIP() << "the web engine does not run under AddressSanitizer";
    auto* login = new LoginViewController;
    QPointer<ContentWindow> loginWindow = new ContentWindow(login);
    loginWindow->show();
    login->phoneLabel->setText(QStringLiteral("13800138000"));
    test::click(login->sendCodeButton);
    ASSERT_TRUE(test::runMainUntil([&] {
        const auto pages = login->findChildren<CaptchaPage*>();
        return !pages.empty() && pages.front()->helperProcessId() > 0;
    }));
    const qint64 helper = login->findChildren<CaptchaPage*>().front()->helperProcessId();
    ASSERT_TRUE(test::runMainUntil([&] { return !requests("/").empty(); }, 60s));
    loginWindow->close();
    EXPECT_TRUE(test::runMainUntil(
        [&] {
            settle();
            return processGone(helper);
        },
        30s));
    EXPECT_EQ(failures_, 0);
}

}  // namespace
}  // namespace pex
