#pragma once
// Downloads the sessions settings document from the settings host: one GET with the
// installation identifier and the device facts as headers. Only a 2xx reply whose body is a
// JSON object counts; every other outcome, a transfer that never ends included, is an error.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "platform/foundation/URLRequest.h"
#include "sessions/ApplicationInfo.h"
#include "sessions/InstallationsProtocol.h"

namespace pex {

struct SettingsDownloaderError {
    enum class Kind { URLError, URLSessionError, JSONParseError, InstallationIDError };
    Kind kind;
    std::string text;
    std::string description() const;
};

class SettingsDownloadClient {
  public:
    using Result = std::variant<nlohmann::json, SettingsDownloaderError>;
    using Completion = std::function<void(Result result)>;
    virtual ~SettingsDownloadClient() = default;
    virtual void fetch(Completion completion) = 0;
};

class SettingsDownloader : public SettingsDownloadClient {
  public:
    // The whole transfer's limit: a reply that has not ended by then fails.
    static constexpr double kRequestTimeoutSeconds = 60;
    // The settings document is small; larger replies are refused.
    static constexpr std::uint64_t kMaximumResponseSize = 1024 * 1024;

    SettingsDownloader(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                       std::shared_ptr<InstallationsProtocol> installations)
        : appInfo_(std::move(appInfo)), installations_(std::move(installations)) {}

    // Looks the installation up on the calling thread (waiting up to its limit), then sends
    // the request; the completion runs once, on a background queue.
    void fetch(Completion completion) override;

    // "<origin>/spi/v2/platforms/macos/apps/<app ID>/settings?build_version=..&display_version=..";
    // none when the parts do not make an address.
    std::optional<std::string> requestURL() const;
    // The request with its six headers, in order.
    URLRequest makeRequest(const std::string& url, const std::string& installationID) const;

    // The settings host in use ("scheme://host[:port]"): the crash SDK's settings host, which
    // serves both documents; tests move it to their stand-in.
    static std::string origin();
    static void setOriginForTesting(std::optional<std::string> origin);

  private:
    const std::shared_ptr<const ApplicationInfoProtocol> appInfo_;
    const std::shared_ptr<InstallationsProtocol> installations_;
};

}  // namespace pex
