#pragma once
// Two SDK-style test libraries that register themselves at load time (TestLibraryA.cpp,
// TestLibraryB.cpp, linked whole into the app tests), and what their components count.
#include <atomic>

#include "beacon-core/BCNComponent.h"

namespace pex::test {

struct ServiceA : BCNComponentObject {};            // always eager, cached
struct DefaultOnlyService : BCNComponentObject {};  // eager in the default app, cached
struct LazyService : BCNComponentObject {};         // lazy, a new one on every request
struct ServiceB : BCNComponentObject {};            // lazy, cached, uses ServiceA
struct SharedService : BCNComponentObject {};       // offered by both libraries
struct WrongKind : BCNComponentObject {};           // what library B wrongly hands out

inline const BCNProtocol kServiceA = BCNProtocol::of<ServiceA>("TestServiceA");
inline const BCNProtocol kDefaultOnly = BCNProtocol::of<DefaultOnlyService>("TestDefaultOnly");
inline const BCNProtocol kLazy = BCNProtocol::of<LazyService>("TestLazy");
inline const BCNProtocol kServiceB = BCNProtocol::of<ServiceB>("TestServiceB");
inline const BCNProtocol kShared = BCNProtocol::of<SharedService>("TestShared");
inline const BCNProtocol kNonConforming = BCNProtocol::of<ServiceB>("TestNonConforming");

struct Created {
    std::atomic<int> serviceA{0};
    std::atomic<int> defaultOnly{0};
    std::atomic<int> lazy{0};
    std::atomic<int> serviceB{0};
    std::atomic<int> sharedFromA{0};
    std::atomic<int> sharedFromB{0};
    std::atomic<int> sessions{0};
    void reset() {
        serviceA = defaultOnly = lazy = serviceB = sharedFromA = sharedFromB = sessions = 0;
    }
};
Created& created();

}  // namespace pex::test
