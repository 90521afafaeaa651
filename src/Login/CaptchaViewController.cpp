#include "Login/CaptchaViewController.h"

#include <QUrl>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "Tools/PinToParent.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/DispatchQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

int effectivePort(const std::string& scheme, int port) {
    if (port > 0) return port;
    return scheme == "https" ? 443 : 80;
}

// Same scheme, host and port (a missing port being the scheme's default).
bool sameOrigin(const Origin& a, const Origin& b) {
    return a.scheme == b.scheme && a.host == b.host &&
           effectivePort(a.scheme, a.port) == effectivePort(b.scheme, b.port);
}

std::optional<Origin> originOfUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    Origin origin;
    origin.scheme = url.scheme().toLower().toStdString();
    origin.host = url.host().toLower().toStdString();
    origin.port = url.port(0);
    return origin;
}

// The printed body keeps a token that came in a malformed message out of the console.
nlohmann::json withoutTokens(nlohmann::json value) {
    if (value.is_object()) {
        for (auto& [key, nested] : value.items()) {
            nested = key == "validate" ? nlohmann::json("***") : withoutTokens(nested);
        }
    } else if (value.is_array()) {
        for (auto& nested : value) nested = withoutTokens(nested);
    }
    return value;
}

std::string printed(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

constexpr const char* kMalformedLog = "⚠️ 解析失败，数据格式不符合预期: ";
// A page may post without end: of a refused message only its start is printed.
constexpr std::size_t kPrintedBodyBytes = 200;

std::string shortened(std::string text) {
    if (text.size() <= kPrintedBodyBytes) return text;
    std::size_t cut = kPrintedBodyBytes;
    // A continuation byte (10xxxxxx) at the cut belongs to the character before it.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text + "…";
}

}  // namespace

CaptchaViewController::CaptchaViewController(QObject* parent) : ViewController(parent) {}

CaptchaViewController::~CaptchaViewController() {
    // The first refused message was printed when it came; the rest are only counted.
    if (refusedMessages_ > 1) {
        consoleLog(kMalformedLog + std::string("共 ") + std::to_string(refusedMessages_) +
                   " 条消息，只记录了第一条");
    }
}

std::string CaptchaViewController::pageAddress() {
    return DeploymentSettings::current().captchaOrigin.text() + "/";
}

std::optional<std::string> CaptchaViewController::validateToken(const nlohmann::json& body) {
    if (!body.is_object()) return std::nullopt;
    const auto type = body.find("type");
    if (type == body.end() || !type->is_string() || type->get<std::string>() != "success") {
        return std::nullopt;
    }
    const auto data = body.find("data");
    if (data == body.end() || !data->is_object()) return std::nullopt;
    const auto validate = data->find("validate");
    // An empty token solves nothing: the service would only refuse the SMS request.
    if (validate == data->end() || !validate->is_string() ||
        validate->get_ref<const std::string&>().empty())
        return std::nullopt;
    return validate->get<std::string>();
}

void CaptchaViewController::viewDidLoad() {
    webView = new QWebEngineView(view());
    auto* page = new QWebEnginePage(webView);
    // A page that fails to load leaves the view empty rather than showing an error page.
    page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    webView->setPage(page);

    QPointer<CaptchaViewController> weak(this);
    CaptchaMessageBridge::install(page)->onMessage = [weak](const ScriptMessage& message) {
        if (weak) weak->userContentController(message);
    };
    connect(page, &QWebEnginePage::loadFinished, this,
            [this](bool ok) { didFinishNavigation(ok); });

    pinEdgesToParent(webView);

    QWebEngineHttpRequest request(QUrl(QString::fromStdString(pageAddress())));
    webView->load(request);
    // The web view has no request time-out of its own: stop a load still running after 60 s.
    DispatchQueue::main().asyncAfter(kLoadTimeout, [weak] {
        if (weak && !weak->loadFinished_ && weak->webView) weak->webView->stop();
    });
}

void CaptchaViewController::didFinishNavigation(bool ok) {
    loadFinished_ = true;
    if (!ok || !webView) return;
    const QUrl url = webView->url();
    consoleLog("✅ 页面加载完成: " +
               (url.isEmpty() ? std::string("unknown") : url.toString().toStdString()));
}

bool CaptchaViewController::isFromCaptchaPage(const ScriptMessage& message) const {
    if (!message.isMainFrame || !webView) return false;
    const Origin& captcha = DeploymentSettings::current().captchaOrigin;
    const auto sender = Origin::parse(message.origin);
    const auto shown = originOfUrl(webView->url());
    return sender && shown && sameOrigin(*sender, captcha) && sameOrigin(*shown, captcha);
}

void CaptchaViewController::userContentController(const ScriptMessage& message) {
    if (message.name != kHandlerName) return;
    if (!isFromCaptchaPage(message)) {
        consoleLog("⚠️ 已忽略不是验证页面主框架发来的消息");
        return;
    }
    // One token per window: later messages, or any after the user closed the window, are late.
    if (delivered_ || !isViewLoaded() || !view()->window()->isVisible()) return;
    const auto validate = validateToken(message.body);
    if (!validate) {
        if (++refusedMessages_ == 1)
            consoleLog(kMalformedLog + shortened(printed(withoutTokens(message.body))));
        return;
    }
    delivered_ = true;
    QPointer<CaptchaViewController> self(this);
    if (onValidateReceived) onValidateReceived(*validate);
    if (self && self->isViewLoaded()) self->view()->window()->close();
}

}  // namespace pex
