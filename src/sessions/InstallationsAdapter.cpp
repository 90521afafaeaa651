#include "sessions/InstallationsAdapter.h"

namespace pex {

void InstallationsAdapter::installationID(IDCompletion completion) {
    installations_->installationIDWithCompletion(std::move(completion));
}

void InstallationsAdapter::authToken(TokenCompletion completion) {
    installations_->authTokenWithCompletion(
        [completion = std::move(completion)](std::optional<BCNInstallationsAuthTokenResult> result,
                                             ErrorRef error) {
            completion(result ? std::optional(result->authToken) : std::nullopt, std::move(error));
        });
}

}  // namespace pex
