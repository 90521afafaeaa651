#pragma once
// Carries the captcha page's script messages from the web view to C++. The page posts through
// `window.webkit.messageHandlers.captchaHandler.postMessage(body)`; `install` injects a small
// script that provides that function and hands each message, over Qt WebChannel, to
// `onMessage`, together with the sender's origin and whether it is the main frame.
//
// The channel lives in an isolated script world that the page's own scripts cannot reach, and
// both scripts run in the main frame only: frames inside the page get no message handler and
// no way to the channel. The origin and frame flags are read in the isolated world, so the
// page cannot forge them.
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

class QWebEnginePage;

namespace pex {

struct ScriptMessage {
    std::string name;          // the message handler's name
    nlohmann::json body;       // what the page posted, as JSON (null when it was not JSON)
    std::string origin;        // the sending document's origin, "scheme://host[:port]"
    bool isMainFrame = false;  // whether the sending document is the page's top frame
};

class CaptchaMessageBridge : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kObjectName = "captchaBridge";

    // Injects the scripts into `page` and connects a new bridge (owned by the page) to it.
    static CaptchaMessageBridge* install(QWebEnginePage* page);

    std::function<void(const ScriptMessage&)> onMessage;

    // Called from the isolated world's script over the web channel.
    Q_INVOKABLE void postMessage(const QString& name, const QString& bodyJson,
                                 const QString& origin, bool isMainFrame);

    // The two injected scripts, for inspection.
    static QString pageWorldScript();
    static QString isolatedWorldScript();

  private:
    using QObject::QObject;
};

}  // namespace pex
