#pragma once
// The application's installation service as the sessions component asks it: the identifier,
// and the auth token as it is now (no forced refresh).
#include <memory>

#include "beacon-core/installations/BCNInstallations.h"
#include "sessions/InstallationsProtocol.h"

namespace pex {

class InstallationsAdapter : public InstallationsProtocol {
  public:
    explicit InstallationsAdapter(std::shared_ptr<BCNInstallations> installations)
        : installations_(std::move(installations)) {}

    void installationID(IDCompletion completion) override;
    void authToken(TokenCompletion completion) override;

  private:
    const std::shared_ptr<BCNInstallations> installations_;
};

}  // namespace pex
