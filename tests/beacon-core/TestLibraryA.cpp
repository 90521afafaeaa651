#include "TestLibraries.h"
#include "beacon-core/BCNApp.h"

namespace pex::test {

Created& created() {
    static Created counts;
    return counts;
}

namespace {

template <typename T>
BCNComponent::CreationBlock counting(std::atomic<int>& count, bool cacheable) {
    return [&count, cacheable](BCNComponentContainer&, bool& isCacheable) {
        ++count;
        isCacheable = cacheable;
        return std::make_shared<T>();
    };
}

const BCNLibraryRegistrar registrar(
    {"BCNTestLibraryA",
     [] {
         return std::vector<BCNComponent>{
             {kServiceA, BCNInstantiationTimingAlwaysEager,
              counting<ServiceA>(created().serviceA, true)},
             {kDefaultOnly, BCNInstantiationTimingEagerInDefaultApp,
              counting<DefaultOnlyService>(created().defaultOnly, true)},
             BCNComponent::componentWithProtocol(kLazy,
                                                 counting<LazyService>(created().lazy, false)),
             BCNComponent::componentWithProtocol(
                 kShared, counting<SharedService>(created().sharedFromA, true)),
         };
     },
     nullptr},
    "test-a");

}  // namespace
}  // namespace pex::test
