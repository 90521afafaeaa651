#pragma once
// The crash SDK's view of the application's installation service: this installation's
// identifier and an auth token taken without forcing a refresh.
#include <memory>

#include "crashreporter/reports/CRSInstallations.h"

namespace pex {

class BCNApp;
class BCNInstallations;

class CRSBeaconInstallations : public CRSInstallations {
  public:
    // The service of `app`'s container. Without one (options it cannot work with) every
    // question is answered with an error, so reports go without the installation's identity.
    static std::shared_ptr<CRSInstallations> installationsWithApp(const BCNApp& app);

    // `installations` may be none.
    explicit CRSBeaconInstallations(std::shared_ptr<BCNInstallations> installations);

    void installationIDWithCompletion(IDCompletion completion) override;
    void authTokenWithCompletion(TokenCompletion completion) override;

  private:
    const std::shared_ptr<BCNInstallations> installations_;
};

}  // namespace pex
