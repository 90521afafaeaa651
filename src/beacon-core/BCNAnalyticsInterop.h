#pragma once
// What SDK libraries may ask of an analytics component, when the application carries one:
// listen to its events under an origin name, and log events of their own. Libraries look it
// up in the component container and work on without it when there is none.
#include <memory>
#include <string>

#include "beacon-core/BCNComponent.h"
#include "platform/foundation/PropertyList.h"

namespace pex {

class BCNAnalyticsInteropListener {
  public:
    virtual ~BCNAnalyticsInteropListener() = default;
    virtual void messageTriggered(const std::string& name,
                                  const PropertyList::Dictionary& parameters) = 0;
};

class BCNAnalyticsInterop : public BCNComponentObject {
  public:
    static BCNProtocol protocol() {
        return BCNProtocol::of<BCNAnalyticsInterop>("BCNAnalyticsInterop");
    }
    // The listener is held weakly: it goes away with its owner.
    virtual void registerAnalyticsListener(std::weak_ptr<BCNAnalyticsInteropListener> listener,
                                           const std::string& origin) = 0;
    virtual void logEventWithOrigin(const std::string& origin, const std::string& name,
                                    const PropertyList::Dictionary& parameters) = 0;
};

}  // namespace pex
