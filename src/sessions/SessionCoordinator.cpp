#include "sessions/SessionCoordinator.h"

#include "sessions/SessionsLogger.h"

namespace pex {

void SessionCoordinator::attemptLoggingSessionStart(std::shared_ptr<SessionStartEvent> event,
                                                    Completion completion) {
    const InstallationsProtocol::IdentityResult identity = installations_->installationIDAndToken();
    SessionStartResult lookup;
    if (const auto* found = std::get_if<InstallationsProtocol::Identity>(&identity)) {
        event->setInstallationID(found->installationID);
        event->setAuthenticationToken(found->authToken);
    } else {
        event->setInstallationID("");
        event->setAuthenticationToken("");
        lookup = std::get<BeaconSessionsError>(identity);
    }
    fireLogger_->logEvent(event, [lookup, completion = std::move(completion)](ErrorRef error) {
        if (error) {
            if (completion)
                completion(BeaconSessionsError::of(BeaconSessionsError::Kind::DataTransportError,
                                                   std::move(error)));
            return;
        }
        sessionsLog(BCNLoggerLevelDebug,
                    "Successfully logged Session Start event to BeaconTransport");
        if (completion) completion(lookup);
    });
}

}  // namespace pex
