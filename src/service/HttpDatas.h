#pragma once
// The client of the service's HTTP JSON API. A caller hands `request` a path, a method and
// parameters; the client adds the base address, the fixed headers and the stored login token,
// logs the exchange to the console (secrets masked), decodes the reply envelope
// {"code","message","data"} and calls back on the main thread with three values:
//
//   failed   false: success ("code" 0); true: service error; absent: transport failure
//   reply    the whole decoded reply; absent on a transport failure
//   message  absent on success; the reply's "message" on a service error; the failure's
//            description on a transport failure
//
// Failures are then shown in an alert a quarter of a second after the completion ran, and an
// HTTP 401 reply from the service (not from another host) ends the login instead of calling
// the completion. A JSON reply that is not an object is a service error; a reply larger than
// kMaximumReplyBytes fails as a transfer. The alert and the login
// window go through two small interfaces the application installs, so the client runs
// without windows.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/ApiBaseURL.h"
#include "service/ServiceAlertPresenter.h"
#include "service/SessionExpiryHandler.h"

namespace pex {

struct URLDataResult;

enum class HTTPMethod { Get, Post, Put, Patch, Delete, Head };
const char* methodName(HTTPMethod method);

class HttpDatas {
  public:
    using Completion =
        std::function<void(std::optional<bool> failed, std::optional<nlohmann::json> reply,
                           std::optional<std::string> message)>;

    static constexpr double kDefaultTimeoutSeconds = 30;
    static constexpr std::chrono::milliseconds kAlertDelay{250};
    static constexpr const char* kUploadPath = "/compatible-mode/v1/files";
    // The largest JSON reply read; a bigger one fails as a transfer that went wrong.
    static constexpr std::uint64_t kMaximumReplyBytes = 4ull * 1024 * 1024;
    // The service error given for a reply that is JSON but not an envelope object.
    static constexpr const char* kMalformedReplyMessage = "服务器返回的数据格式不正确";

    static HttpDatas& shared();

    // Whether a failed request is also shown in an alert. Background polls are quiet: their
    // caller handles failures, and an outage must not stack an alert every few seconds.
    enum class Alerts { shown, quiet };

    // `path` is appended to the base address, or used alone when it begins "http://" or
    // "https://". `timeoutSeconds` absent means 30 s. Returns at once.
    void request(const std::string& path, HTTPMethod method,
                 std::optional<nlohmann::json> parameters = std::nullopt,
                 std::optional<double> timeoutSeconds = std::nullopt,
                 Completion completion = nullptr, Alerts alerts = Alerts::shown);

    // Uploads a résumé to the AI provider's file endpoint as a multipart form ("file", then
    // "purpose" = "file-extract") with "Authorization: Bearer <apiKey>". The completion gets
    // (false, the provider's reply, "") for a 2xx JSON reply, else (absent, absent, "请求失败").
    // A file that uploadFileProblem refuses is not sent: the completion gets (absent, absent,
    // the problem).
    void uploadFile(const std::filesystem::path& fileURL, const std::string& apiKey,
                    Completion completion);
    // Why `file` cannot be uploaded, in words for the user: it does not exist, it is not a
    // regular file (a folder, a device, a pipe...), it cannot be read, it is empty, or it is
    // larger than the deployment's résumé limit (named exactly in the message). None when it
    // can be sent.
    static std::optional<std::string> uploadFileProblem(const std::filesystem::path& file);

    // The two alerts; both run the installed presenter on the main thread (a call from
    // another thread is moved there).
    void showMessageAlert(const std::string& message);
    void showErrorAlert(const std::string& message, const std::string& address);

    // Installed by the application at start-up (and by tests); none means nothing is shown.
    void setAlertPresenter(std::shared_ptr<ServiceAlertPresenter> presenter);
    void setSessionExpiryHandler(std::shared_ptr<SessionExpiryHandler> handler);

    // The "Version" header: the bundle's short version, "1.0" when there is none.
    static std::string versionHeader();
    // The MIME type the upload gives a file, from its extension.
    static std::string uploadMimeType(const std::filesystem::path& file);

    // Ends the login as an HTTP 401 reply does; for the service's other clients (the answer
    // stream). Main thread.
    void endLogin();

  private:
    HttpDatas() = default;
    void handleResponse(const URLDataResult& result, const std::string& address,
                        const std::string& path, bool fromService, const Completion& completion,
                        Alerts alerts = Alerts::shown);
    std::shared_ptr<ServiceAlertPresenter> presenter() const;
    std::shared_ptr<SessionExpiryHandler> expiryHandler() const;

    struct Installed;
    static Installed& installed();
};

}  // namespace pex
