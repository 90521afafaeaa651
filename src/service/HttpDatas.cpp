#include "service/HttpDatas.h"

#include <cmath>
#include <mutex>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/URLComponents.h"
#include "platform/foundation/URLSession.h"
#include "service/ConsoleLog.h"
#include "service/ConsoleRedaction.h"
#include "service/LenientJson.h"
#include "service/ParameterEncoding.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

bool isAbsolute(const std::string& path) {
    return path.rfind("http://", 0) == 0 || path.rfind("https://", 0) == 0;
}

// Pretty-printed UTF-8 JSON, or "unknown" when the value holds text that is not UTF-8.
std::string printed(const nlohmann::json& value, int indent = -1) {
    try {
        return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return "unknown";
    }
}

// The alert text for a transfer that failed, by its URL-loading error code.
std::string alertText(const URLError& error) {
    switch (error.code) {
        case URLError::Code::CannotConnectToHost:
            return "无法连接到服务器，请稍后再试";
        case URLError::Code::NotConnectedToInternet:
            return "网络未连接，请检查你的网络设置";
        case URLError::Code::TimedOut:
            return "请求超时，请重试";
        default:
            return "请求失败：" + error.localizedDescription;
    }
}

std::chrono::milliseconds timeoutInterval(std::optional<double> seconds) {
    double value = seconds.value_or(HttpDatas::kDefaultTimeoutSeconds);
    if (!std::isfinite(value) || value <= 0) value = HttpDatas::kDefaultTimeoutSeconds;
    return std::chrono::milliseconds(static_cast<long long>(std::min(value, 1e9) * 1000));
}

// The login token goes only to the service itself: relative paths, and absolute addresses
// under the API base or the override base. Other hosts (the static-file host, anything
// else) never see it.
bool mayCarryToken(const std::string& path, const std::string& address,
                   const std::optional<std::string>& overrideBase) {
    if (!isAbsolute(path)) return true;
    if (URLComponents::isUnder(address, apiBaseURL())) return true;
    return overrideBase && URLComponents::isUnder(address, *overrideBase);
}

}  // namespace

const char* methodName(HTTPMethod method) {
    switch (method) {
        case HTTPMethod::Get:
            return "GET";
        case HTTPMethod::Post:
            return "POST";
        case HTTPMethod::Put:
            return "PUT";
        case HTTPMethod::Patch:
            return "PATCH";
        case HTTPMethod::Delete:
            return "DELETE";
        case HTTPMethod::Head:
            return "HEAD";
    }
    return "GET";
}

struct HttpDatas::Installed {
    std::mutex mutex;
    std::shared_ptr<ServiceAlertPresenter> presenter;
    std::shared_ptr<SessionExpiryHandler> expiryHandler;
};

HttpDatas::Installed& HttpDatas::installed() {
    static auto* state = new Installed;
    return *state;
}

HttpDatas& HttpDatas::shared() {
    static auto* instance = new HttpDatas;
    return *instance;
}

void HttpDatas::setAlertPresenter(std::shared_ptr<ServiceAlertPresenter> presenter) {
    std::lock_guard lock(installed().mutex);
    installed().presenter = std::move(presenter);
}

void HttpDatas::setSessionExpiryHandler(std::shared_ptr<SessionExpiryHandler> handler) {
    std::lock_guard lock(installed().mutex);
    installed().expiryHandler = std::move(handler);
}

std::shared_ptr<ServiceAlertPresenter> HttpDatas::presenter() const {
    std::lock_guard lock(installed().mutex);
    return installed().presenter;
}

std::shared_ptr<SessionExpiryHandler> HttpDatas::expiryHandler() const {
    std::lock_guard lock(installed().mutex);
    return installed().expiryHandler;
}

std::string HttpDatas::versionHeader() {
    return Bundle::main().string("CFBundleShortVersionString").value_or("1.0");
}

void HttpDatas::request(const std::string& path, HTTPMethod method,
                        std::optional<nlohmann::json> parameters,
                        std::optional<double> timeoutSeconds, Completion completion,
                        Alerts alerts) {
    const std::optional<std::string> overrideBase = SettingsStore::string(SettingsKeys::fuwuqiKey);
    const std::string base = overrideBase.value_or(apiBaseURL());
    const std::string address = isAbsolute(path) ? path : base + path;

    URLRequest request(address, methodName(method));
    request.headers = {{"Version", versionHeader()},
                       {"Accept", "application/json"},
                       {"Content-Type", "application/json"},
                       {"platform", "macOS_WebSite"},
                       {"lan", "zh-Hans"}};
    if (const auto token = SettingsStore::string(SettingsKeys::loginToken);
        token && mayCarryToken(path, address, overrideBase)) {
        request.headers.push_back({"Authorization", "Bearer " + *token});
    }
    if (parameters) {
        if (method == HTTPMethod::Get) {
            request.url = appendingQuery(address, queryString(*parameters));
        } else {
            request.httpBody =
                parameters->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        }
    }
    request.timeoutInterval = timeoutInterval(timeoutSeconds);
    request.maximumResponseSize = kMaximumReplyBytes;

    consoleLog("🚀url:" + address);
    consoleLog("params:" +
               printed(redactedParameters(parameters.value_or(nlohmann::json::object()), path)));

    const std::string finalAddress = request.url;
    // Only the service itself can end the login: a 401 from any other host is its own affair.
    const bool toService = mayCarryToken(path, address, overrideBase);
    auto task = URLSession::shared().dataTask(
        std::move(request), DispatchQueue::main(),
        [this, finalAddress, path, toService, completion = std::move(completion),
         alerts](URLDataResult result) {
            handleResponse(result, finalAddress, path, toService, completion, alerts);
        });
    task->resume();
}

void HttpDatas::handleResponse(const URLDataResult& result, const std::string& address,
                               const std::string& path, bool fromService,
                               const Completion& completion, Alerts alerts) {
    std::optional<nlohmann::json> reply;
    if (!result.error && !result.data.empty()) {
        nlohmann::json parsed = nlohmann::json::parse(result.data, nullptr, false);
        if (!parsed.is_discarded()) reply = std::move(parsed);
    }

    if (!reply) {
        std::string description;
        if (result.error) {
            description = result.error->localizedDescription;
            consoleLog("请求错误: " + result.error->debugDescription());
        } else {
            description =
                result.data.empty() ? "服务器返回了空数据" : "服务器返回的数据不是有效的 JSON";
            const std::string status = result.response ? result.response->statusLine : "";
            consoleLog("请求错误: " + description + (status.empty() ? "" : " (" + status + ")"));
        }
        if (completion) completion(std::nullopt, std::nullopt, description);
        // Only failed transfers are shown; a reply that does not decode is not.
        if (result.error && alerts == Alerts::shown) {
            const std::string text = alertText(*result.error);
            DispatchQueue::main().asyncAfter(
                kAlertDelay, [this, text, address] { showErrorAlert(text, address); });
        }
        return;
    }

    consoleLog("🍺result:" + printed(redactedReply(*reply, path), 2));
    const long status = result.response ? result.response->statusCode : 0;
    if (status == 401 && fromService) {
        endLogin();
        return;
    }
    // Every reply of the service is an envelope object; a bare string, number or array is not
    // an answer the caller can take for a success.
    if (!reply->is_object()) {
        const std::string message = kMalformedReplyMessage;
        if (completion) completion(true, reply, message);
        DispatchQueue::main().asyncAfter(kAlertDelay,
                                         [this, message] { showMessageAlert(message); });
        return;
    }
    const nlohmann::json& codeValue = lenient::field(*reply, "code");
    const std::int64_t code = lenient::integerValue(codeValue);
    std::string message = lenient::text(*reply, "message");
    // An error status without an envelope code is a failure of the service, not a success.
    const bool failedWithoutCode = status >= 400 && codeValue.is_null();
    if (failedWithoutCode && message.empty()) message = result.response->statusLine;
    if (failedWithoutCode || code != 0) {
        if (completion) completion(true, reply, message);
        if (!message.empty() && alerts == Alerts::shown) {
            DispatchQueue::main().asyncAfter(kAlertDelay,
                                             [this, message] { showMessageAlert(message); });
        }
        return;
    }
    if (completion) completion(false, reply, std::nullopt);
}

void HttpDatas::endLogin() {
    const auto handler = expiryHandler();
    // The login window from an earlier 401 is still up: that one ends the login.
    if (handler && handler->isLoginPresented()) return;
    const auto clearStoredLogin = [] { SettingsStore::clearLogin(SettingsStore::AutoLogin::keep); };
    if (handler) {
        handler->presentLogin(clearStoredLogin);
    } else {
        clearStoredLogin();
    }
}

void HttpDatas::showMessageAlert(const std::string& message) {
    showErrorAlert(message, "");
}

void HttpDatas::showErrorAlert(const std::string& message, const std::string& address) {
    // A modal alert can only run on the main thread; a call from elsewhere is moved there.
    if (!MainQueue::isMainThread()) {
        DispatchQueue::main().async([this, message, address] { showErrorAlert(message, address); });
        return;
    }
    if (const auto shown = presenter()) shown->presentAlert(message, address);
}

}  // namespace pex
