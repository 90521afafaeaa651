#pragma once
// What the ID controller needs of a backoff controller.
#include "beacon-core/installations/BCNInstallationsBackoffEventData.h"

namespace pex {

class BCNInstallationsBackoffControllerProtocol {
  public:
    virtual ~BCNInstallationsBackoffControllerProtocol() = default;
    virtual void registerEvent(BCNInstallationsBackoffEvent event) = 0;
    virtual bool isNextRequestAllowed() = 0;
};

}  // namespace pex
