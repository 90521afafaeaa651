#pragma once
// The captcha helper process' side of the pipe (Login/CaptchaPipe.h): reads the login
// window's "show" from `input`, shows the captcha page in its own 400 × 400 window (a title
// bar and a close button, not resizable), and writes the page's token, or that the user
// closed the window, to `output`. It is done (`onEnd`, with the process' exit status) once
// the window has gone, or at the end of its input (the login window went, or the application
// ended), which also closes the window. Main thread only.
#include <QObject>
#include <QPointer>
#include <QSize>
#include <functional>
#include <memory>

#include "Login/CaptchaPipe.h"

class QSocketNotifier;

namespace pex {

class ContentWindow;

class CaptchaHelper : public QObject {
    Q_OBJECT
  public:
    static constexpr QSize kWindowSize{400, 400};
    // Named after what the user gets from it; untitled, the window would carry the
    // application's name.
    static constexpr const char* kWindowTitle = "验证码";

    // Reads `input` and writes `output`, two file descriptors it does not own.
    CaptchaHelper(int input, int output);
    ~CaptchaHelper() override;

    std::function<void(int status)> onEnd;

  private:
    void readInput();
    void show(const CaptchaPipeMessage& message);
    void send(const CaptchaPipeMessage& message);
    void end(int status);

    int input_;
    int output_;
    CaptchaPipe pipe_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QPointer<ContentWindow> window_;
    bool shown_ = false;
    bool answered_ = false;
    bool ended_ = false;
};

}  // namespace pex
