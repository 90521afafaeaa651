#pragma once
// Appends each rollouts line to "rollouts.clsrecord" of the report it belongs to, one JSON
// object a line, on a serial queue of its own: the provider may call back on any thread, and
// the lines of one report must not interleave.
#include <memory>
#include <string>

#include "crashreporter/rollouts/CRSRemoteConfigManager.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class CRSFileManager;

inline constexpr char kCRSRolloutsFileName[] = "rollouts.clsrecord";

class CRSRolloutsPersistenceManager : public CRSPersistenceLog {
  public:
    CRSRolloutsPersistenceManager(std::shared_ptr<const CRSFileManager> fileManager,
                                  DispatchQueue queue);

    // `reportID` names a folder of the active reports; anything else is refused and logged.
    void updateRolloutsStateToPersistenceWithRollouts(const std::string& rollouts,
                                                      const std::string& reportID) override;
    void debugLogWithMessage(const std::string& message) override;

  private:
    std::shared_ptr<const CRSFileManager> fileManager_;
    DispatchQueue queue_;
};

}  // namespace pex
