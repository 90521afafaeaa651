#pragma once
// The subscribers the sessions component waits for, declared by each subscribing SDK when it
// is loaded, before any application is configured. Nothing removes a name.
#include <set>

#include "sessions/SessionsSubscriberName.h"

namespace pex {

class BCNSessionsDependencies {
  public:
    static void addDependencyWithName(SessionsSubscriberName name);
    static std::set<SessionsSubscriberName> dependencies();
};

}  // namespace pex
