#include "TestLibraries.h"
#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNComponentContainer.h"

namespace pex::test {
namespace {

std::vector<BCNComponent> componentsOfB() {
    return {
        BCNComponent::componentWithProtocol(
            kServiceB,
            [](BCNComponentContainer& container, bool& isCacheable) -> BCNComponentInstance {
                // Asks the same container for what it needs, as SDK libraries do.
                if (!BCNComponentType::instanceForProtocol<ServiceA>(kServiceA, container))
                    return nullptr;
                ++created().serviceB;
                isCacheable = true;
                return std::make_shared<ServiceB>();
            }),
        BCNComponent::componentWithProtocol(kShared,
                                            [](BCNComponentContainer&, bool& isCacheable) {
                                                ++created().sharedFromB;
                                                isCacheable = true;
                                                return std::make_shared<SharedService>();
                                            }),
        BCNComponent::componentWithProtocol(kNonConforming,
                                            [](BCNComponentContainer&, bool& isCacheable) {
                                                isCacheable = true;
                                                return std::make_shared<WrongKind>();
                                            }),
    };
}

const BCNLibraryRegistrar registrar({"BCNTestLibraryB", componentsOfB, nullptr}, "test-b", "2.0");

// Found by class name when the SDK looks for its sessions library.
const BCNClassRegistrar sessions({"BCNSessions",
                                  [] {
                                      ++created().sessions;
                                      return std::vector<BCNComponent>{};
                                  },
                                  nullptr});

}  // namespace
}  // namespace pex::test
