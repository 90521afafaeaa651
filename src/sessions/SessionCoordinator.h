#pragma once
// Completes a session start event with the installation identity and hands it to the event
// logger. A lookup that fails still sends the event, with empty identity fields, and is
// reported as the installation error.
#include <functional>
#include <memory>

#include "sessions/BeaconSessionsError.h"
#include "sessions/EventTXLogger.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/SessionStartEvent.h"

namespace pex {

class SessionCoordinatorProtocol {
  public:
    using Completion = std::function<void(SessionStartResult result)>;
    virtual ~SessionCoordinatorProtocol() = default;
    virtual void attemptLoggingSessionStart(std::shared_ptr<SessionStartEvent> event,
                                            Completion completion) = 0;
};

class SessionCoordinator : public SessionCoordinatorProtocol {
  public:
    SessionCoordinator(std::shared_ptr<InstallationsProtocol> installations,
                       std::shared_ptr<EventTXLoggerProtocol> fireLogger)
        : installations_(std::move(installations)), fireLogger_(std::move(fireLogger)) {}

    // Blocks for the installation lookup (up to its wait): call it from a background queue.
    void attemptLoggingSessionStart(std::shared_ptr<SessionStartEvent> event,
                                    Completion completion) override;

  private:
    const std::shared_ptr<InstallationsProtocol> installations_;
    const std::shared_ptr<EventTXLoggerProtocol> fireLogger_;
};

}  // namespace pex
