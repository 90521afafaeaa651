#pragma once
// The sessions component as other SDKs reach it through the component container.
#include <memory>

#include "beacon-core/BCNComponent.h"
#include "sessions/BCNSessionsSubscriber.h"

namespace pex {

class BCNSessionsProvider : public BCNComponentObject {
  public:
    static BCNProtocol protocol() {
        return BCNProtocol::of<BCNSessionsProvider>("BCNSessionsProvider");
    }
    virtual void registerWithSubscriber(std::shared_ptr<BCNSessionsSubscriber> subscriber) = 0;
};

}  // namespace pex
