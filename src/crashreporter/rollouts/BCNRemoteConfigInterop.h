#pragma once
// What a remote-configuration component of the application may tell SDK libraries: the rollout
// variants active for this installation. No such component is part of the product; a library
// looks it up in the component container and works on without it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "beacon-core/BCNComponent.h"

namespace pex {

class BCNRolloutAssignment {
  public:
    BCNRolloutAssignment(std::string rolloutId, std::string variantId, std::int64_t templateVersion,
                         std::string parameterKey, std::string parameterValue)
        : rolloutId(std::move(rolloutId)),
          variantId(std::move(variantId)),
          templateVersion(templateVersion),
          parameterKey(std::move(parameterKey)),
          parameterValue(std::move(parameterValue)) {}

    std::string rolloutId;
    std::string variantId;
    std::int64_t templateVersion;
    std::string parameterKey;
    std::string parameterValue;
};

using BCNRolloutAssignmentRef = std::shared_ptr<BCNRolloutAssignment>;

// A set of assignments told apart by identity: two with equal fields are both kept.
class BCNRolloutsState {
  public:
    explicit BCNRolloutsState(const std::vector<BCNRolloutAssignmentRef>& assignmentList);
    std::vector<BCNRolloutAssignmentRef> assignments;
};

// Told the active assignments whenever they change, on whatever thread the provider uses.
class BCNRolloutsStateSubscriber {
  public:
    virtual ~BCNRolloutsStateSubscriber() = default;
    virtual void rolloutsStateDidChange(const BCNRolloutsState& state) = 0;
};

struct BCNRemoteConfigConstants {
    // The namespace under which the crash SDK subscribes.
    static constexpr const char* kNamespaceBeaconMobilePlatform = "beacon";
};

// The provider side, a component of the application when it carries one: where a subscriber
// registers for a namespace. The subscriber is held weakly: it goes away with its owner.
class BCNRemoteConfigInterop : public BCNComponentObject {
  public:
    static BCNProtocol protocol() {
        return BCNProtocol::of<BCNRemoteConfigInterop>("BCNRemoteConfigInterop");
    }
    virtual void registerRolloutsStateSubscriber(
        std::weak_ptr<BCNRolloutsStateSubscriber> subscriber, const std::string& nameSpace) = 0;
};

}  // namespace pex
