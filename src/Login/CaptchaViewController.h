#pragma once
// The captcha page shown before an SMS code is sent: a web view on the captcha host's page,
// whose script reports a solved puzzle to the message handler "captchaHandler" with
// {"type": "success", "data": {"validate": <token>}}. The controller hands the token to
// `onValidateReceived` once and closes its window. It runs in the captcha helper process
// with the web engine (CaptchaPage.h). Only messages from the top frame of the captcha host's
// origin count. Main thread only.
#include <QPointer>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "Login/CaptchaMessageBridge.h"
#include "platform/appkit/ViewController.h"

class QWebEngineView;

namespace pex {

class CaptchaViewController : public ViewController {
    Q_OBJECT
  public:
    static constexpr const char* kHandlerName = "captchaHandler";
    static constexpr std::chrono::seconds kLoadTimeout{60};

    explicit CaptchaViewController(QObject* parent = nullptr);
    ~CaptchaViewController() override;

    // Set by the owner before the view loads; called on the main thread.
    std::function<void(const std::string& validate)> onValidateReceived;

    QPointer<QWebEngineView> webView;  // made when the view loads

    // The captcha page: the captcha host's origin followed by "/".
    static std::string pageAddress();

    // The token of a well-formed success message; none for any other body, or an empty token.
    static std::optional<std::string> validateToken(const nlohmann::json& body);

    // A message the page posted (from the web view's bridge).
    void userContentController(const ScriptMessage& message);
    // The page finished loading (successfully or not).
    void didFinishNavigation(bool ok);

  protected:
    void viewDidLoad() override;

  private:
    bool isFromCaptchaPage(const ScriptMessage& message) const;

    bool loadFinished_ = false;
    bool delivered_ = false;
    std::size_t refusedMessages_ = 0;  // malformed messages from the captcha page
};

}  // namespace pex
