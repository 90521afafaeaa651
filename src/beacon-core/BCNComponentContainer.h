#pragma once
// One configured app's services: at creation it gathers every registrant's components (the
// first registration of a protocol wins), then creates the eager ones and hands out one
// instance per protocol on request. One recursive lock lets creation blocks ask the same
// container for the services they depend on.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "beacon-core/BCNComponent.h"

namespace pex {

class BCNApp;

class BCNComponentContainer {
  public:
    // The registrants known to the process (static registrars add themselves at load time).
    static void registerAsComponentRegistrant(const BCNLibraryClass& library);
    static void registerAsComponentRegistrant(const BCNLibraryClass& library,
                                              std::vector<BCNLibraryClass>& set);
    static std::vector<BCNLibraryClass> registrants();

    BCNComponentContainer(std::weak_ptr<BCNApp> app, bool isDefaultApp);
    BCNComponentContainer(std::weak_ptr<BCNApp> app, bool isDefaultApp,
                          const std::vector<BCNLibraryClass>& registrants);

    // The application the container belongs to; null once it is gone.
    std::shared_ptr<BCNApp> app() const { return app_.lock(); }

    void instantiateEagerComponents();
    // The cached instance, else a new one from the protocol's block; none for an unknown
    // protocol or a block that made nothing.
    BCNComponentInstance instanceForProtocol(const BCNProtocol& protocol);
    void removeAllCachedInstances();
    void removeAllComponents();

    // For tests: what is left to create eagerly (none after the eager pass).
    std::optional<std::vector<std::string>> eagerProtocolsToInstantiate();

  private:
    void populateComponents(const std::vector<BCNLibraryClass>& registrants, bool isDefaultApp);
    BCNComponentInstance instantiateInstanceForProtocol(const BCNProtocol& protocol,
                                                        const BCNComponent::CreationBlock& block);

    std::weak_ptr<BCNApp> app_;
    std::recursive_mutex lock_;
    std::map<std::string, BCNComponent> components_;
    std::map<std::string, BCNComponentInstance> cachedInstances_;
    std::optional<std::vector<BCNProtocol>> eagerProtocolsToInstantiate_;
};

// The call creation blocks use to reach another library's service.
class BCNComponentType {
  public:
    template <typename Protocol>
    static std::shared_ptr<Protocol> instanceForProtocol(const BCNProtocol& protocol,
                                                         BCNComponentContainer& container) {
        return std::dynamic_pointer_cast<Protocol>(container.instanceForProtocol(protocol));
    }
};

}  // namespace pex
