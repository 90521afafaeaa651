#include "Login/CaptchaMessageBridge.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace pex {

namespace {

// Private to the two scripts: the page-world function fires it on the document, the isolated
// world listens for it. Only strings cross between the worlds.
constexpr const char* kEventName = "pexmora-captcha-message";

// Runs in the page's world, so that the page's script finds the handler where it looks for it.
constexpr const char* kPageWorldScript = R"JS(
(function () {
  'use strict';
  var eventName = '%1';
  function post(name, body) {
    var text = null;
    try { text = JSON.stringify(body); } catch (error) { text = null; }
    var detail = JSON.stringify({name: name, body: text === undefined ? null : text});
    document.dispatchEvent(new CustomEvent(eventName, {detail: detail}));
  }
  window.webkit = {
    messageHandlers: {
      captchaHandler: {postMessage: function (body) { post('captchaHandler', body); }}
    }
  };
})();
)JS";

// Runs in an isolated world after qwebchannel.js; forwards each message with the sender's
// origin and frame, queueing them until the channel is ready.
constexpr const char* kIsolatedWorldScript = R"JS(
(function () {
  'use strict';
  var bridge = null;
  var waiting = [];
  function send(message) {
    bridge.postMessage(message.name, message.body, message.origin, message.mainFrame);
  }
  function connect() {
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects['%2'];
      waiting.forEach(send);
      waiting = [];
    });
  }
  if (typeof qt !== 'undefined' && qt.webChannelTransport) {
    connect();
  } else {
    document.addEventListener('DOMContentLoaded', connect);
  }
  document.addEventListener('%1', function (event) {
    if (typeof event.detail !== 'string') return;
    var parsed;
    try { parsed = JSON.parse(event.detail); } catch (error) { return; }
    if (!parsed || typeof parsed !== 'object') return;
    var message = {
      name: String(parsed.name),
      body: typeof parsed.body === 'string' ? parsed.body : 'null',
      origin: String(location.origin),
      mainFrame: window.top === window
    };
    if (bridge) send(message); else waiting.push(message);
  });
})();
)JS";

QString webChannelLibrary() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QWebEngineScript makeScript(const QString& name, const QString& source, quint32 world) {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(world);
    script.setRunsOnSubFrames(false);
    return script;
}

}  // namespace

QString CaptchaMessageBridge::pageWorldScript() {
    return QString::fromUtf8(kPageWorldScript).arg(QString::fromUtf8(kEventName));
}

QString CaptchaMessageBridge::isolatedWorldScript() {
    return webChannelLibrary() + QStringLiteral("\n") +
           QString::fromUtf8(kIsolatedWorldScript)
               .arg(QString::fromUtf8(kEventName), QString::fromUtf8(kObjectName));
}

CaptchaMessageBridge* CaptchaMessageBridge::install(QWebEnginePage* page) {
    auto* bridge = new CaptchaMessageBridge(page);
    auto* channel = new QWebChannel(page);
    channel->registerObject(QString::fromUtf8(kObjectName), bridge);
    page->setWebChannel(channel, QWebEngineScript::ApplicationWorld);
    page->scripts().insert(makeScript(QStringLiteral("captcha-handler"), pageWorldScript(),
                                      QWebEngineScript::MainWorld));
    page->scripts().insert(makeScript(QStringLiteral("captcha-bridge"), isolatedWorldScript(),
                                      QWebEngineScript::ApplicationWorld));
    return bridge;
}

void CaptchaMessageBridge::postMessage(const QString& name, const QString& bodyJson,
                                       const QString& origin, bool isMainFrame) {
    if (!onMessage) return;
    ScriptMessage message;
    message.name = name.toStdString();
    message.body = nlohmann::json::parse(bodyJson.toStdString(), nullptr, false);
    if (message.body.is_discarded()) message.body = nullptr;
    message.origin = origin.toStdString();
    message.isMainFrame = isMainFrame;
    onMessage(message);
}

}  // namespace pex
