#include "sessions/BCNSessionsDependencies.h"

#include "beacon-core/UnfairLock.h"

namespace pex {

namespace {
UnfairLock<std::set<SessionsSubscriberName>>& declared() {
    static auto* names = new UnfairLock<std::set<SessionsSubscriberName>>();
    return *names;
}
}  // namespace

void BCNSessionsDependencies::addDependencyWithName(SessionsSubscriberName name) {
    declared().withLock([name](auto& names) { names.insert(name); });
}

std::set<SessionsSubscriberName> BCNSessionsDependencies::dependencies() {
    return declared().value();
}

}  // namespace pex
