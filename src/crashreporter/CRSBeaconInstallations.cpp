#include "crashreporter/CRSBeaconInstallations.h"

#include "beacon-core/BCNApp.h"
#include "beacon-core/installations/BCNInstallations.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Exception.h"

namespace pex {

std::shared_ptr<CRSInstallations> CRSBeaconInstallations::installationsWithApp(const BCNApp& app) {
    std::shared_ptr<BCNInstallations> installations;
    try {
        installations = BCNInstallations::installationsWithApp(app);
    } catch (const Exception&) {
        // Options the installation service cannot work with: reports go without its identifier.
    }
    return std::make_shared<CRSBeaconInstallations>(std::move(installations));
}

CRSBeaconInstallations::CRSBeaconInstallations(std::shared_ptr<BCNInstallations> installations)
    : installations_(std::move(installations)) {}

namespace {

ErrorRef unavailable() {
    return Error::make("com.crashreporter.installations", 1,
                       {{Error::kDescriptionKey, "The application has no installation service"}});
}

}  // namespace

void CRSBeaconInstallations::installationIDWithCompletion(IDCompletion completion) {
    if (!installations_) {
        DispatchQueue::global().async([completion] { completion(std::nullopt, unavailable()); });
        return;
    }
    installations_->installationIDWithCompletion(std::move(completion));
}

void CRSBeaconInstallations::authTokenWithCompletion(TokenCompletion completion) {
    if (!installations_) {
        DispatchQueue::global().async([completion] { completion(std::nullopt, unavailable()); });
        return;
    }
    installations_->authTokenWithCompletion(
        [completion = std::move(completion)](std::optional<BCNInstallationsAuthTokenResult> token,
                                             ErrorRef error) {
            completion(token ? std::optional<std::string>(token->authToken) : std::nullopt,
                       std::move(error));
        });
}

}  // namespace pex
