#include "CaptchaHelper/CaptchaHelper.h"

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>

#include "Login/CaptchaViewController.h"
#include "Tools/ContentWindow.h"
#include "platform/foundation/DeploymentSettings.h"
#include "service/ConsoleLog.h"

namespace pex {

CaptchaHelper::CaptchaHelper(int input, int output) : input_(input), output_(output) {
    ::fcntl(input_, F_SETFL, ::fcntl(input_, F_GETFL) | O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(input_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &CaptchaHelper::readInput);
}

CaptchaHelper::~CaptchaHelper() {
    ended_ = true;
    if (window_) delete window_.data();
}

void CaptchaHelper::readInput() {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(input_, buffer, sizeof buffer);
        if (count == 0) {
            end(0);  // the login window is gone: so is its captcha page
            return;
        }
        if (count < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            end(1);
            return;
        }
        if (!pipe_.append(buffer, static_cast<std::size_t>(count))) {
            consoleLog("⚠️ 验证码助手: 收到的消息过长");
            end(1);
            return;
        }
        while (const auto line = pipe_.nextLine()) {
            const auto message = CaptchaPipe::decode(*line);
            if (message && message->type == "show") show(*message);
        }
    }
}

void CaptchaHelper::show(const CaptchaPipeMessage& message) {
    if (shown_) return;  // one page per helper
    const auto origin = Origin::parse(message.field("origin"));
    if (!origin) {
        send({"failed", {{"reason", "验证码地址无效"}}});
        end(1);
        return;
    }
    shown_ = true;
    DeploymentSettings::current().captchaOrigin = *origin;

    auto* controller = new CaptchaViewController;
    controller->onValidateReceived = [this](const std::string& validate) {
        answered_ = true;
        send({"validate", {{"validate", validate}}});
    };
    window_ = new ContentWindow(controller);
    window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
    window_->setWindowTitle(QString::fromUtf8(kWindowTitle));
    window_->setContentSize(kWindowSize);
    window_->setFixedSize(window_->size());
    window_->center();
    // The window goes when the page is solved or the user closes it; so does the helper.
    connect(window_, &QObject::destroyed, this, [this] {
        if (!answered_) send({"closed", {}});
        end(0);
    });
    window_->makeKeyAndOrderFront();
}

void CaptchaHelper::send(const CaptchaPipeMessage& message) {
    const std::string line = CaptchaPipe::encode(message);
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t count = ::write(output_, line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;  // the login window is gone; the end of input follows
        written += static_cast<std::size_t>(count);
    }
}

void CaptchaHelper::end(int status) {
    if (ended_) return;
    ended_ = true;
    notifier_->setEnabled(false);
    if (window_) window_->close();
    if (onEnd) onEnd(status);
}

}  // namespace pex
