#pragma once
// The captcha page as the login window knows it. The page runs in a web view, whose engine is
// large and needs OpenGL; it runs in a helper process of its own (pexmora-captcha, beside the
// application's executable) that shows the page in its own window, so the application itself
// never loads the web engine or a GL driver. The two talk over the helper's standard input
// and output (CaptchaPipe.h).
//
// `show` starts the helper. The page hands the token of a solved puzzle to
// `onValidateReceived` once; a helper that cannot start, ends without an answer or breaks
// the protocol is reported to `onFailed`. Either way the page deletes itself once the helper
// has ended; deleting it earlier ends the helper (its input closes, and it is stopped if it
// does not go). Main thread only.
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <chrono>
#include <functional>
#include <string>

#include "Login/CaptchaPipe.h"

namespace pex {

class CaptchaPage : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kHelperName = "pexmora-captcha";
    // How long an ended page waits for its helper to go before it stops it.
    static constexpr std::chrono::seconds kStopWait{2};

    explicit CaptchaPage(QObject* parent = nullptr);
    ~CaptchaPage() override;

    // Set by the owner before `show`; called on the main thread.
    std::function<void(const std::string& validate)> onValidateReceived;
    std::function<void()> onFailed;

    // Starts the helper, which opens the page's window. Once only.
    void show();
    // The helper's process id while it runs, else 0.
    qint64 helperProcessId() const;

    // The helper's path: the executable's folder unless set (tests set it).
    static void setHelperPath(const QString& path);
    static QString helperPath();

  private:
    void readHelper();
    void handle(const CaptchaPipeMessage& message);
    void helperEnded();
    void fail(const std::string& why);
    void finish();

    QPointer<QProcess> process_;
    CaptchaPipe pipe_;
    bool answered_ = false;  // a token came, or the user closed the window
    bool finished_ = false;
};

}  // namespace pex
