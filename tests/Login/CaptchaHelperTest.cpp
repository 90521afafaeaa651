// The captcha helper's side of the pipe, in this process with a real web view on the offscreen
// platform and the stand-in's page: "show" opens the 400 × 400 window on the origin it names,
// the solved page's token goes out once and the helper ends; the user closing the window, the
// end of input and a bad origin each end it with the line the login window expects.
#include "CaptchaHelper/CaptchaHelper.h"

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QWebEngineView>
#include <optional>

#include "Login/CaptchaViewController.h"
#include "LoginFixture.h"
#include "Tools/ContentWindow.h"
#include "support/WebEngineTestEnvironment.h"

namespace pex {
namespace {

using namespace std::chrono_literals;

const bool kWebEngineEnvironment = test::prepareWebEngineForTests();

class CaptchaHelperTest : public test::LoginFixture {
  protected:
    void SetUp() override {
        if (!test::kWebEngineRuns)
            GTEST_SKIP() << "the web engine does not run under AddressSanitizer";
        LoginFixture::SetUp();
        ASSERT_EQ(::pipe2(toHelper_, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(fromHelper_, O_CLOEXEC | O_NONBLOCK), 0);
        helper_ = std::make_unique<CaptchaHelper>(toHelper_[0], fromHelper_[1]);
        helper_->onEnd = [this](int status) { ended_ = status; };
    }
    void TearDown() override {
        helper_.reset();
        for (int fd : {toHelper_[0], toHelper_[1], fromHelper_[0], fromHelper_[1]}) {
            if (fd >= 0) ::close(fd);
        }
        LoginFixture::TearDown();
    }

    void write(const std::string& text) {
        ASSERT_EQ(::write(toHelper_[1], text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    void show(const std::string& origin) {
        write(CaptchaPipe::encode({"show", {{"origin", origin}}}));
    }
    void closeInput() {
        ::close(toHelper_[1]);
        toHelper_[1] = -1;
    }
    // The helper's lines so far.
    std::vector<CaptchaPipeMessage> received() {
        char buffer[4096];
        ssize_t count;
        while ((count = ::read(fromHelper_[0], buffer, sizeof buffer)) > 0) {
            output_.append(buffer, static_cast<std::size_t>(count));
        }
        while (const auto line = output_.nextLine()) {
            const auto message = CaptchaPipe::decode(*line);
            EXPECT_TRUE(message) << *line;
            if (message) messages_.push_back(*message);
        }
        return messages_;
    }
    // The helper's window, once shown.
    ContentWindow* window() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<ContentWindow*>(widget);
            if (window && window->isVisible() &&
                qobject_cast<CaptchaViewController*>(window->contentViewController())) {
                return window;
            }
        }
        return nullptr;
    }
    bool pageLoaded() {
        ContentWindow* shown = window();
        auto* page =
            shown ? qobject_cast<CaptchaViewController*>(shown->contentViewController()) : nullptr;
        return page && page->webView && page->webView->url().isValid() &&
               !page->webView->title().isEmpty();
    }

    int toHelper_[2] = {-1, -1};
    int fromHelper_[2] = {-1, -1};
    std::unique_ptr<CaptchaHelper> helper_;
    std::optional<int> ended_;
    CaptchaPipe output_;
    std::vector<CaptchaPipeMessage> messages_;
};

TEST_F(CaptchaHelperTest, TheSolvedPagesTokenGoesOutOnceAndTheHelperEnds) {
    // The page posts at once: one good token, then a second that comes too late.
    service_.addPath("GET", "/", [](const standin::Call&) {
        return standin::Reply::text(
            200,
            "<!DOCTYPE html><html><head><title>t</title></head><body><script>"
            "var h = window.webkit.messageHandlers.captchaHandler;"
            "h.postMessage({type: 'success', data: {validate: 'tok-1'}});"
            "h.postMessage({type: 'success', data: {validate: 'tok-2'}});"
            "</script></body></html>",
            "text/html; charset=utf-8");
    });
    show(service_.origin());
    ASSERT_TRUE(test::runMainUntil([&] { return ended_.has_value(); }, 60s));
    EXPECT_EQ(*ended_, 0);
    settle();
    const auto messages = received();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, "validate");
    EXPECT_EQ(messages[0].field("validate"), "tok-1");
    EXPECT_EQ(window(), nullptr);
    EXPECT_EQ(requests("/").size(), 1u);
}

TEST_F(CaptchaHelperTest, TheWindowIsTheFixedCaptchaWindowAndClosingItEndsTheHelper) {
    show(service_.origin());
    ASSERT_TRUE(test::runMainUntil([&] { return pageLoaded(); }, 60s));
    ContentWindow* shown = window();
    EXPECT_EQ(shown->contentSize(), CaptchaHelper::kWindowSize);
    EXPECT_EQ(CaptchaHelper::kWindowSize, QSize(400, 400));
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("验证码"));
    EXPECT_TRUE(shown->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(shown->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(shown->minimumSize(), shown->maximumSize());  // not resizable
    EXPECT_FALSE(ended_.has_value());

    shown->close();  // the user closes it unsolved
    ASSERT_TRUE(test::runMainUntil([&] { return ended_.has_value(); }, 10s));
    EXPECT_EQ(*ended_, 0);
    const auto messages = received();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, "closed");
}

TEST_F(CaptchaHelperTest, TheEndOfInputClosesTheWindow) {
    show(service_.origin());
    ASSERT_TRUE(test::runMainUntil([&] { return window() != nullptr; }, 60s));
    closeInput();
    ASSERT_TRUE(test::runMainUntil([&] { return ended_.has_value() && !window(); }, 10s));
    EXPECT_EQ(*ended_, 0);

    // Before any "show", too: nothing opens.
    helper_ = std::make_unique<CaptchaHelper>(toHelper_[0], fromHelper_[1]);
    ended_.reset();
    helper_->onEnd = [this](int status) { ended_ = status; };
    ASSERT_TRUE(test::runMainUntil([&] { return ended_.has_value(); }, 10s));
    EXPECT_EQ(window(), nullptr);
}

TEST_F(CaptchaHelperTest, ABadOriginOrAnOverlongLineEndsTheHelperWithoutAWindow) {
    show("ftp://example.com");
    ASSERT_TRUE(test::runMainUntil([&] { return ended_.has_value(); }, 10s));
    EXPECT_EQ(*ended_, 1);
    auto messages = received();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, "failed");
    EXPECT_EQ(messages[0].field("reason"), "验证码地址无效");
    EXPECT_EQ(window(), nullptr);

    helper_ = std::make_unique<CaptchaHelper>(toHelper_[0], fromHelper_[1]);
    ended_.reset();
    helper_->onEnd = [this](int status) { ended_ = status; };
    write(std::string(CaptchaPipe::kMaxLineBytes + 1, 'x'));
    ASSERT_TRUE(test::runMainUntil([&] { return ended_.has_value(); }, 10s));
    EXPECT_EQ(*ended_, 1);
    EXPECT_EQ(window(), nullptr);
}

}  // namespace
}  // namespace pex
