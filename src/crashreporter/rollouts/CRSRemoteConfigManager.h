#pragma once
// The rollout variants a remote-configuration component reports as active for this
// installation. The crash SDK keeps the latest list (at most 128 assignments, parameter values
// of at most 256 UTF-16 units), appends it as one JSON line to the current report's
// "rollouts.clsrecord" on every change, and offers it as JSON text for error records, so a
// crash can be related to the configuration in force. Texts travel hex-encoded.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crashreporter/rollouts/BCNRemoteConfigInterop.h"

namespace pex {

// Writes the rollouts line into a report and logs at debug level.
class CRSPersistenceLog {
  public:
    virtual ~CRSPersistenceLog() = default;
    virtual void updateRolloutsStateToPersistenceWithRollouts(const std::string& rollouts,
                                                              const std::string& reportID) = 0;
    virtual void debugLogWithMessage(const std::string& message) = 0;
};

class CRSRemoteConfigManager {
  public:
    static constexpr std::size_t kMaxAssignments = 128;
    static constexpr std::size_t kMaxParameterValueLength = 256;  // UTF-16 units

    CRSRemoteConfigManager(std::shared_ptr<BCNRemoteConfigInterop> remoteConfig,
                           std::shared_ptr<CRSPersistenceLog> persistenceDelegate);

    void updateRolloutsStateWithRolloutsState(const BCNRolloutsState& state,
                                              const std::string& reportID);
    std::vector<BCNRolloutAssignmentRef> rolloutAssignment() const;
    // The assignments as a JSON array with sorted keys; nothing when encoding fails.
    std::optional<std::string> getRolloutAssignmentsEncodedJsonString() const;

    // The text's UTF-8 bytes as lowercase hex digits, two per byte.
    static std::string stringToHexConverterFor(const std::string& text);

  private:
    std::shared_ptr<BCNRemoteConfigInterop> remoteConfig_;
    std::shared_ptr<CRSPersistenceLog> persistenceDelegate_;
    mutable std::mutex lock_;
    std::vector<BCNRolloutAssignmentRef> rolloutAssignment_;
};

}  // namespace pex
