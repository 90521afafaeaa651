#include "sessions/Sessions.h"

#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/Promises.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "sessions/BCNSessionsDependencies.h"
#include "sessions/EventTXLogger.h"
#include "sessions/InstallationsAdapter.h"
#include "sessions/SessionsLogger.h"
#include "sessions/SessionsSettings.h"

namespace pex {

namespace {

using Kind = BeaconSessionsError::Kind;

// Stands in when the application has no installation service: every lookup fails.
class UnavailableInstallations : public InstallationsProtocol {
  public:
    void installationID(IDCompletion completion) override { completion(std::nullopt, error()); }
    void authToken(TokenCompletion completion) override { completion(std::nullopt, error()); }

  private:
    static ErrorRef error() {
        return Error::make("BeaconSessions", 1,
                           {{Error::kDescriptionKey, "No installation service is available."}});
    }
};

std::string describe(const std::set<SessionsSubscriberName>& names) {
    std::string text = "[";
    for (auto name = names.begin(); name != names.end(); ++name)
        text += (name == names.begin() ? "" : ", ") + description(*name);
    return text + "]";
}

}  // namespace

// Everything a session start reads after its wait, kept alive by the starts in flight. The
// subscriber tables and the generator are guarded by `lock`; a continuation works on copies.
struct Sessions::State {
    std::string appID;
    std::shared_ptr<SessionCoordinatorProtocol> coordinator;
    std::shared_ptr<const ApplicationInfoProtocol> appInfo;
    std::shared_ptr<SettingsProtocol> settings;
    std::shared_ptr<const TimeProvider> time;
    std::function<void(const SessionStartResult&)> resultObserver;
    // Carries only the session-changed notification.
    NotificationCenter notificationCenter;

    mutable std::mutex lock;
    SessionGenerator generator{true};
    std::vector<std::shared_ptr<BCNSessionsSubscriber>> subscribers;
    std::map<SessionsSubscriberName, Promise<void>> subscriberPromises;

    std::optional<std::string> currentSessionId() const {
        std::lock_guard guard(lock);
        const auto& session = generator.currentSession();
        if (!session) return std::nullopt;
        return session->sessionId;
    }
};

BCNLibraryClass Sessions::libraryClass() {
    return {kClassName, &Sessions::componentsToRegister, nullptr};
}

std::vector<BCNComponent> Sessions::componentsToRegister() {
    BCNComponent component(
        BCNSessionsProvider::protocol(), BCNInstantiationTimingAlwaysEager,
        [](BCNComponentContainer& container, bool& isCacheable) -> BCNComponentInstance {
            const std::shared_ptr<BCNApp> app = container.app();
            if (!app || !app->isDefaultApp()) return nullptr;
            isCacheable = true;
            std::shared_ptr<InstallationsProtocol> installations;
            if (auto service = BCNInstallations::installationsWithApp(*app))
                installations = std::make_shared<InstallationsAdapter>(std::move(service));
            auto transport = TXPTransport::make(kMappingID, {}, kTarget);
            // Without its transport the component cannot work at all.
            if (!transport) std::abort();
            return make(app->options().beaconAppID().value_or(""), std::move(installations),
                        std::move(transport));
        });
    return {component};
}

std::shared_ptr<Sessions> Sessions::make(
    const std::string& appID, std::shared_ptr<InstallationsProtocol> installations,
    std::shared_ptr<TXPTransport> transport,
    std::function<void(const SessionStartResult&)> resultObserver) {
    if (!installations) installations = std::make_shared<UnavailableInstallations>();
    auto transporter = std::make_shared<BeaconTransporter>(std::move(transport));
    auto console = std::make_shared<DevEventConsoleLogger>(kDebugEventsArgument);
    auto fireLogger = std::make_shared<EventTXLogger>(transporter, console);

    const nlohmann::json info = Bundle::main().info();
    std::optional<nlohmann::json> infoDict;
    if (info.is_object() && !info.empty()) infoDict = info;
    auto appInfo = std::make_shared<const ApplicationInfo>(
        appID, std::make_shared<const NetworkInfo>(), ApplicationInfo::processEnvironment(),
        std::move(infoDict));
    auto settings = std::make_shared<SessionsSettings>(appInfo, installations);

    Parts parts;
    parts.appID = appID;
    parts.collectEvents = SessionGenerator::collectEvents(settings->samplingRate());
    parts.coordinator = std::make_shared<SessionCoordinator>(installations, fireLogger);
    parts.appInfo = std::move(appInfo);
    parts.settings = std::move(settings);
    parts.dependencies = BCNSessionsDependencies::dependencies();
    parts.resultObserver = std::move(resultObserver);
    return std::make_shared<Sessions>(std::move(parts));
}

Sessions::Sessions(Parts parts) : state_(std::make_shared<State>()) {
    state_->appID = std::move(parts.appID);
    state_->coordinator = std::move(parts.coordinator);
    state_->appInfo = std::move(parts.appInfo);
    state_->settings = std::move(parts.settings);
    state_->time = parts.time ? std::move(parts.time) : std::make_shared<const Time>();
    state_->resultObserver = std::move(parts.resultObserver);
    state_->generator = SessionGenerator(parts.collectEvents);
    for (SessionsSubscriberName name : parts.dependencies)
        state_->subscriberPromises.emplace(name, Promise<void>::pending());

    sessionsLog(BCNLoggerLevelDebug,
                "Version " + BCNBeaconVersion() +
                    ". Expecting subscriptions from: " + describe(parts.dependencies));

    initiator_ = std::make_unique<SessionInitiator>(*state_->settings, parts.currentTime);
    initiator_->setInitiateSessionStart([this] { startSession(resultLogger()); });
    startSession(resultLogger());

    NotificationCenter& centre = NotificationCenter::defaultCenter();
    SessionInitiator* initiator = initiator_.get();
    applicationObservers_.emplace_back(
        centre,
        centre.addObserver(kApplicationDidResignActiveNotification, nullptr,
                           [initiator](const Notification&) { initiator->appBackgrounded(); }));
    applicationObservers_.emplace_back(
        centre,
        centre.addObserver(kApplicationDidBecomeActiveNotification, nullptr,
                           [initiator](const Notification&) { initiator->appForegrounded(); }));
}

Sessions::~Sessions() {
    applicationObservers_.clear();
}

std::optional<std::string> Sessions::currentSessionId() const {
    return state_->currentSessionId();
}

void Sessions::startSession(Completion completion) {
    SessionInfo session;
    std::vector<Promise<void>> waits;
    {
        std::lock_guard guard(state_->lock);
        session = state_->generator.generateNewSession();
        for (const auto& [name, promise] : state_->subscriberPromises) waits.push_back(promise);
    }
    state_->notificationCenter.post(kSessionIDChangedNotificationName);

    auto event = std::make_shared<SessionStartEvent>(session, *state_->appInfo, *state_->time);
    if (waits.empty()) {
        completion(BeaconSessionsError::of(Kind::NoDependenciesError));
        return;
    }
    // No time limit: a declared subscriber that never registers holds this start for ever.
    const DispatchQueue background = DispatchQueue::global(QualityOfService::Background);
    const std::weak_ptr<State> weakState = state_;
    Promises::all(background, waits)
        .then(background, [weakState, session, event, completion](const auto&) {
            if (const auto state = weakState.lock())
                continueSessionStart(state, session, event, completion);
        });
}

void Sessions::continueSessionStart(const std::shared_ptr<State>& state, SessionInfo session,
                                    std::shared_ptr<SessionStartEvent> event,
                                    Completion completion) {
    std::vector<std::shared_ptr<BCNSessionsSubscriber>> subscribers;
    {
        std::lock_guard guard(state->lock);
        subscribers = state->subscribers;
    }
    bool collecting = false;
    for (const auto& subscriber : subscribers)
        if (subscriber->isDataCollectionEnabled()) {
            collecting = true;
            break;
        }
    if (!collecting) {
        completion(BeaconSessionsError::of(Kind::DataCollectionError));
        return;
    }
    sessionsLog(BCNLoggerLevelDebug, "Data Collection is enabled for at least one Subscriber");

    state->settings->updateSettings();
    fillSubscriberFields(*state, *event, subscribers);
    event->setSamplingRate(state->settings->samplingRate());
    if (!session.shouldDispatchEvents) {
        completion(BeaconSessionsError::of(Kind::SessionSamplingError));
        return;
    }
    if (!state->settings->sessionsEnabled()) {
        completion(BeaconSessionsError::of(Kind::DisabledViaSettingsError));
        return;
    }
    state->coordinator->attemptLoggingSessionStart(event, completion);
}

void Sessions::fillSubscriberFields(
    const State& state, SessionStartEvent& event,
    const std::vector<std::shared_ptr<BCNSessionsSubscriber>>& subscribers) {
    for (const auto& subscriber : subscribers) {
        const DataCollectionState collection = subscriber->isDataCollectionEnabled()
                                                   ? DataCollectionStateEnabled
                                                   : DataCollectionStateDisabled;
        switch (subscriber->sessionsSubscriberName()) {
            case SessionsSubscriberName::CrashReporter:
                event.setCrashReporterState(collection);
                break;
            case SessionsSubscriberName::Performance:
                event.setPerformanceState(collection);
                if (collection == DataCollectionStateEnabled) {
                    event.resetUnnamedField();
                    event.setNetworkInfo(state.appInfo->networkInfo());
                }
                break;
            default:
                sessionsLog(BCNLoggerLevelWarning,
                            "Attempted to set Data Collection status for unknown Subscriber: " +
                                description(subscriber->sessionsSubscriberName()));
        }
    }
}

Sessions::Completion Sessions::resultLogger() const {
    const std::weak_ptr<State> weakState = state_;
    return [weakState](SessionStartResult result) {
        logResult(result);
        if (const auto state = weakState.lock())
            if (state->resultObserver) state->resultObserver(result);
    };
}

void Sessions::logResult(const SessionStartResult& result) {
    if (!result) {
        sessionsLog(BCNLoggerLevelInfo, "Successfully logged Session Start event");
    } else {
        switch (result->kind) {
            case Kind::SessionInstallationsError:
                sessionsLog(BCNLoggerLevelError, "Error getting Beacon Installation ID: " +
                                                     result->underlyingDescription() +
                                                     ". Skipping this Session Event");
                break;
            case Kind::DataTransportError:
                sessionsLog(BCNLoggerLevelError,
                            "Error logging Session Start event to BeaconTransport: " +
                                result->underlyingDescription() + ".");
                break;
            case Kind::SessionSamplingError:
                sessionsLog(BCNLoggerLevelDebug, "Sessions SDK has sampled this session");
                break;
            case Kind::SessionInstallationsTimeOutError:
                sessionsLog(BCNLoggerLevelError,
                            "Error getting Beacon Installation ID due to timeout. Skipping this "
                            "Session Event");
                break;
            case Kind::DisabledViaSettingsError:
                sessionsLog(BCNLoggerLevelDebug, "Sessions SDK is disabled via Settings");
                break;
            case Kind::DataCollectionError:
                sessionsLog(BCNLoggerLevelDebug,
                            "Data Collection is disabled for all subscribers. Skipping this "
                            "Session Event");
                break;
            case Kind::NoDependenciesError:
                sessionsLog(BCNLoggerLevelError,
                            "Sessions SDK did not have any dependent SDKs register as "
                            "dependencies. Events will not be sent.");
                break;
        }
    }
}

void Sessions::registerWithSubscriber(std::shared_ptr<BCNSessionsSubscriber> subscriber) {
    if (!subscriber) return;
    sessionsLog(BCNLoggerLevelDebug,
                "Registering Sessions SDK subscriber with name: " +
                    description(subscriber->sessionsSubscriberName()) +
                    ", data collection enabled: " +
                    (subscriber->isDataCollectionEnabled() ? "true" : "false"));

    const std::weak_ptr<State> weakState = state_;
    state_->notificationCenter.addObserver(
        kSessionIDChangedNotificationName, nullptr, [weakState, subscriber](const Notification&) {
            DispatchQueue::main().async([weakState, subscriber] {
                assertMainThread("Sessions subscriber notification");
                const auto state = weakState.lock();
                if (!state) return;
                subscriber->onSessionChanged(BCNSessionDetails(state->currentSessionId()));
            });
        });
    subscriber->onSessionChanged(BCNSessionDetails(state_->currentSessionId()));

    std::optional<Promise<void>> declared;
    {
        std::lock_guard guard(state_->lock);
        state_->subscribers.push_back(subscriber);
        const auto found = state_->subscriberPromises.find(subscriber->sessionsSubscriberName());
        if (found != state_->subscriberPromises.end()) declared = found->second;
    }
    if (declared) declared->fulfill();
}

}  // namespace pex
