#pragma once
// The application-sessions component (class name "BCNSessions"): gives every run of the
// application, and every return after a long enough absence, a fresh session identifier,
// tells its subscribers, and sends one session start event per session once every declared
// subscriber has registered, collection is on, the session is sampled in and settings allow.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPTransport.h"
#include "beacon-core/BCNComponent.h"
#include "beacon-core/Promise.h"
#include "platform/foundation/NotificationCenter.h"
#include "sessions/ApplicationInfo.h"
#include "sessions/BCNSessionsProvider.h"
#include "sessions/BeaconSessionsError.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/SessionCoordinator.h"
#include "sessions/SessionGenerator.h"
#include "sessions/SessionInitiator.h"
#include "sessions/SettingsProtocol.h"
#include "sessions/Time.h"

namespace pex {

class Sessions : public BCNSessionsProvider {
  public:
    static constexpr const char* kClassName = "BCNSessions";
    static constexpr const char* kSessionIDChangedNotificationName =
        "SessionIDChangedNotificationName";
    static constexpr const char* kDebugEventsArgument = "-BCNSessionsDebugEvents";
    static constexpr const char* kMappingID = "1974";
    static constexpr std::int64_t kTarget = 1001;

    using Completion = std::function<void(SessionStartResult result)>;

    // What a Sessions is made of; the creation block fills it from the application.
    struct Parts {
        std::string appID;
        std::shared_ptr<SessionCoordinatorProtocol> coordinator;
        std::shared_ptr<const ApplicationInfoProtocol> appInfo;
        std::shared_ptr<SettingsProtocol> settings;
        bool collectEvents = true;                      // the process's sampling decision
        std::set<SessionsSubscriberName> dependencies;  // the subscribers to wait for
        SessionInitiator::CurrentTime currentTime;      // none: the injectable clock
        std::shared_ptr<const TimeProvider> time;       // none: the wall clock
        // Told the result of each session start after it is logged (for tests).
        std::function<void(const SessionStartResult&)> resultObserver;
    };

    // The library that registers the component, findable by its class name.
    static BCNLibraryClass libraryClass();
    static std::vector<BCNComponent> componentsToRegister();

    // Builds every part for the default application's ID over `transport` (target 1001).
    static std::shared_ptr<Sessions> make(
        const std::string& appID, std::shared_ptr<InstallationsProtocol> installations,
        std::shared_ptr<TXPTransport> transport,
        std::function<void(const SessionStartResult&)> resultObserver = nullptr);

    // Starts the first session before returning.
    explicit Sessions(Parts parts);
    ~Sessions() override;
    Sessions(const Sessions&) = delete;
    Sessions& operator=(const Sessions&) = delete;

    void registerWithSubscriber(std::shared_ptr<BCNSessionsSubscriber> subscriber) override;

    // The current session's identifier; none before the first.
    std::optional<std::string> currentSessionId() const;
    SessionInitiator& initiator() { return *initiator_; }

  private:
    struct State;
    void startSession(Completion completion);
    static void continueSessionStart(const std::shared_ptr<State>& state, SessionInfo session,
                                     std::shared_ptr<SessionStartEvent> event,
                                     Completion completion);
    static void fillSubscriberFields(
        const State& state, SessionStartEvent& event,
        const std::vector<std::shared_ptr<BCNSessionsSubscriber>>& subscribers);
    // Logs each result, then tells the result observer.
    Completion resultLogger() const;
    static void logResult(const SessionStartResult& result);

    std::shared_ptr<State> state_;
    std::unique_ptr<SessionInitiator> initiator_;
    std::vector<ScopedObserver> applicationObservers_;
};

}  // namespace pex
