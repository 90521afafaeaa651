#include "beacon-core/BCNComponentContainer.h"

#include <algorithm>

#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNLogger.h"

namespace pex {

namespace {

struct Registrants {
    std::mutex mutex;
    std::vector<BCNLibraryClass> set;
};

Registrants& registrantSet() {
    static auto* registrants = new Registrants;
    return *registrants;
}

}  // namespace

void BCNComponentContainer::registerAsComponentRegistrant(const BCNLibraryClass& library,
                                                          std::vector<BCNLibraryClass>& set) {
    const bool known = std::any_of(set.begin(), set.end(), [&](const BCNLibraryClass& other) {
        return other.className == library.className;
    });
    if (!known) set.push_back(library);
}

void BCNComponentContainer::registerAsComponentRegistrant(const BCNLibraryClass& library) {
    Registrants& registrants = registrantSet();
    std::lock_guard lock(registrants.mutex);
    registerAsComponentRegistrant(library, registrants.set);
}

std::vector<BCNLibraryClass> BCNComponentContainer::registrants() {
    Registrants& registrants = registrantSet();
    std::lock_guard lock(registrants.mutex);
    return registrants.set;
}

BCNComponentContainer::BCNComponentContainer(std::weak_ptr<BCNApp> app, bool isDefaultApp)
    : BCNComponentContainer(std::move(app), isDefaultApp, registrants()) {}

BCNComponentContainer::BCNComponentContainer(std::weak_ptr<BCNApp> app, bool isDefaultApp,
                                             const std::vector<BCNLibraryClass>& registrants)
    : app_(std::move(app)) {
    populateComponents(registrants, isDefaultApp);
}

void BCNComponentContainer::populateComponents(const std::vector<BCNLibraryClass>& registrants,
                                               bool isDefaultApp) {
    eagerProtocolsToInstantiate_.emplace();
    for (const BCNLibraryClass& registrant : registrants) {
        if (!registrant.componentsToRegister) continue;
        for (const BCNComponent& component : registrant.componentsToRegister()) {
            const std::string& name = component.protocol().name;
            if (components_.contains(name)) {
                BCNLogError(kBCNLoggerCore, "I-COR000029",
                            "Attempted to register protocol %@, but it already has an "
                            "implementation.",
                            name);
                continue;
            }
            components_.emplace(name, component);
            const int timing = component.instantiationTiming();
            if (timing == BCNInstantiationTimingAlwaysEager ||
                (timing == BCNInstantiationTimingEagerInDefaultApp && isDefaultApp))
                eagerProtocolsToInstantiate_->push_back(component.protocol());
        }
    }
}

void BCNComponentContainer::instantiateEagerComponents() {
    std::lock_guard lock(lock_);
    if (!eagerProtocolsToInstantiate_) return;
    const auto eager = std::move(*eagerProtocolsToInstantiate_);
    eagerProtocolsToInstantiate_.reset();
    for (const BCNProtocol& protocol : eager) instanceForProtocol(protocol);
}

BCNComponentInstance BCNComponentContainer::instanceForProtocol(const BCNProtocol& protocol) {
    std::lock_guard lock(lock_);
    if (const auto cached = cachedInstances_.find(protocol.name); cached != cachedInstances_.end())
        return cached->second;
    const auto component = components_.find(protocol.name);
    if (component == components_.end()) return nullptr;
    const auto block = component->second.creationBlock();  // the block may clear the registry
    return instantiateInstanceForProtocol(component->second.protocol(), block);
}

BCNComponentInstance BCNComponentContainer::instantiateInstanceForProtocol(
    const BCNProtocol& protocol, const BCNComponent::CreationBlock& block) {
    bool isCacheable = false;
    BCNComponentInstance instance = block ? block(*this, isCacheable) : nullptr;
    if (!instance) return nullptr;
    if (protocol.conforms && !protocol.conforms(*instance)) {
        BCNLogError(kBCNLoggerCore, "I-COR000030",
                    "An instance conforming to %@ was requested, but the instance provided does "
                    "not conform to the protocol",
                    protocol.name);
    }
    if (isCacheable) cachedInstances_[protocol.name] = instance;
    return instance;
}

void BCNComponentContainer::removeAllCachedInstances() {
    std::lock_guard lock(lock_);
    if (const auto app = app_.lock()) {
        for (const auto& [name, instance] : cachedInstances_) {
            if (auto* maintainer = dynamic_cast<BCNComponentLifecycleMaintainer*>(instance.get()))
                maintainer->appWillBeDeleted(*app);
        }
    }
    cachedInstances_.clear();
}

void BCNComponentContainer::removeAllComponents() {
    std::lock_guard lock(lock_);
    components_.clear();
}

std::optional<std::vector<std::string>> BCNComponentContainer::eagerProtocolsToInstantiate() {
    std::lock_guard lock(lock_);
    if (!eagerProtocolsToInstantiate_) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& protocol : *eagerProtocolsToInstantiate_) names.push_back(protocol.name);
    return names;
}

}  // namespace pex
