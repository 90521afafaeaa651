#include "sessions/SettingsDownloader.h"

#include <atomic>
#include <chrono>

#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentDefaults.h"
#include "platform/foundation/DeploymentOrigin.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/URLComponents.h"
#include "platform/foundation/URLSession.h"
#include "sessions/BCNSESNanoPBHelpers.h"

namespace pex {

namespace {

DeploymentOrigin& deployedOrigin() {
    static auto* origin = new DeploymentOrigin(deployment_defaults::kCrashReporterSettingsOrigin);
    return *origin;
}

// Calls the completion once, whichever comes first: the reply or the deadline.
struct OnceCompletion {
    std::atomic<bool> done{false};
    SettingsDownloadClient::Completion completion;
    void operator()(SettingsDownloadClient::Result result) {
        if (done.exchange(true)) return;
        completion(std::move(result));
    }
};

SettingsDownloadClient::Result resultOf(const URLDataResult& reply) {
    using Kind = SettingsDownloaderError::Kind;
    if (reply.error)
        return SettingsDownloaderError{Kind::URLSessionError, reply.error->localizedDescription};
    if (!reply.response)
        return SettingsDownloaderError{Kind::URLSessionError, "The server sent no reply."};
    if (!reply.response->isSuccess())
        return SettingsDownloaderError{
            Kind::URLSessionError,
            "The server answered with HTTP status " + std::to_string(reply.response->statusCode)};
    nlohmann::json parsed = nlohmann::json::parse(reply.data, nullptr, false);
    if (!parsed.is_object())
        return SettingsDownloaderError{Kind::JSONParseError, "Failed to parse JSON to dictionary"};
    return parsed;
}

}  // namespace

std::string SettingsDownloaderError::description() const {
    switch (kind) {
        case Kind::URLError:
            return "URLError(" + text + ")";
        case Kind::URLSessionError:
            return "URLSessionError(" + text + ")";
        case Kind::JSONParseError:
            return "JSONParseError(" + text + ")";
        case Kind::InstallationIDError:
            return "InstallationIDError(" + text + ")";
    }
    return text;
}

std::string SettingsDownloader::origin() {
    return deployedOrigin().value();
}

void SettingsDownloader::setOriginForTesting(std::optional<std::string> origin) {
    deployedOrigin().setForTesting(std::move(origin));
}

std::optional<std::string> SettingsDownloader::requestURL() const {
    const std::string appID = appInfo_->appID();
    if (appID.empty()) return std::nullopt;
    std::string url = origin() + "/spi/v2/platforms/" +
                      percentEscape(UTLAppEnvironmentUtil::appleDevicePlatform()) + "/apps/" +
                      percentEscape(appID, ":@") + "/settings" +
                      "?build_version=" + percentEscape(appInfo_->appBuildVersion()) +
                      "&display_version=" + percentEscape(appInfo_->appDisplayVersion());
    if (!URLComponents::parse(url)) return std::nullopt;
    return url;
}

URLRequest SettingsDownloader::makeRequest(const std::string& url,
                                           const std::string& installationID) const {
    URLRequest request(url, "GET");
    request.timeoutInterval =
        std::chrono::milliseconds(static_cast<std::int64_t>(kRequestTimeoutSeconds * 1000));
    request.maximumResponseSize = kMaximumResponseSize;
    request.headers = {
        {"Accept", "application/json"},
        {"X-CrashReporter-Installation-ID", installationID},
        {"X-CrashReporter-Device-Model", UTLAppEnvironmentUtil::deviceSimulatorModel()},
        {"X-CrashReporter-OS-Build-Version", BCNSESGetSysctlEntry("kern.osversion").value_or("")},
        {"X-CrashReporter-OS-Display-Version", UTLAppEnvironmentUtil::systemVersion()},
        {"X-CrashReporter-API-Client-Version", BCNBeaconVersion()},
    };
    return request;
}

void SettingsDownloader::fetch(Completion completion) {
    using Kind = SettingsDownloaderError::Kind;
    auto once = std::make_shared<OnceCompletion>();
    once->completion = std::move(completion);

    const std::optional<std::string> url = requestURL();
    if (!url) {
        (*once)(SettingsDownloaderError{Kind::URLError, "Invalid URL"});
        return;
    }
    const InstallationsProtocol::IdentityResult identity = installations_->installationIDAndToken();
    const auto* found = std::get_if<InstallationsProtocol::Identity>(&identity);
    if (!found) {
        const auto& error = std::get<BeaconSessionsError>(identity);
        (*once)(SettingsDownloaderError{
            Kind::InstallationIDError,
            error.underlying ? error.underlying->localizedDescription()
                             : std::string("The installation identifier did not arrive in time.")});
        return;
    }

    // A reply that never ends (a server that trickles bytes) fails at the deadline.
    const std::shared_ptr<Clock> clock = Clock::current();
    auto timer = std::make_shared<std::atomic<Clock::TimerId>>(0);
    once->completion = [clock, timer, finished = std::move(once->completion)](Result result) {
        clock->cancel(timer->load());
        finished(std::move(result));
    };
    auto task =
        URLSession::shared().dataTask(makeRequest(*url, found->installationID),
                                      DispatchQueue::global(QualityOfService::Background),
                                      [once](URLDataResult reply) { (*once)(resultOf(reply)); });
    const auto deadline = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(kRequestTimeoutSeconds));
    const std::weak_ptr<URLSessionTask> weakTask = task;
    timer->store(clock->schedule(clock->now() + deadline, [once, weakTask] {
        (*once)(SettingsDownloaderError{SettingsDownloaderError::Kind::URLSessionError,
                                        "The settings request did not finish in time."});
        if (auto running = weakTask.lock()) running->cancel();
    }));
    task->resume();
}

}  // namespace pex
