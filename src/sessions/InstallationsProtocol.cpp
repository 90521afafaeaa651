#include "sessions/InstallationsProtocol.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/foundation/Clock.h"

namespace pex {

namespace {

// What the two answers left behind; shared with the callbacks, which may come after the wait
// has given up.
struct Answers {
    std::mutex lock;
    std::condition_variable changed;
    bool idAnswered = false;
    bool tokenAnswered = false;
    bool timedOut = false;
    std::optional<std::string> id;
    ErrorRef idError;
    std::string token;
};

}  // namespace

InstallationsProtocol::IdentityResult InstallationsProtocol::installationIDAndToken() {
    auto answers = std::make_shared<Answers>();
    authToken([answers](std::optional<std::string> token, ErrorRef) {
        std::lock_guard guard(answers->lock);
        answers->token = token.value_or("");
        answers->tokenAnswered = true;
        answers->changed.notify_all();
    });
    installationID([answers](std::optional<std::string> id, ErrorRef error) {
        std::lock_guard guard(answers->lock);
        answers->id = std::move(id);
        if (!answers->id) answers->idError = std::move(error);
        answers->idAnswered = true;
        answers->changed.notify_all();
    });

    const std::shared_ptr<Clock> clock = Clock::current();
    const auto wait = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(installationWaitSeconds));
    const Clock::TimerId timer = clock->schedule(clock->now() + wait, [answers] {
        std::lock_guard guard(answers->lock);
        answers->timedOut = true;
        answers->changed.notify_all();
    });

    std::unique_lock guard(answers->lock);
    answers->changed.wait(guard, [&] {
        return (answers->idAnswered && answers->tokenAnswered) || answers->timedOut;
    });
    const bool bothAnswered = answers->idAnswered && answers->tokenAnswered;
    guard.unlock();
    clock->cancel(timer);

    std::lock_guard read(answers->lock);
    if (!bothAnswered)
        return BeaconSessionsError::of(BeaconSessionsError::Kind::SessionInstallationsTimeOutError);
    if (answers->id) return Identity{*answers->id, answers->token};
    // An identifier request that answers with neither an identifier nor an error counts as a
    // failed lookup.
    return BeaconSessionsError::of(
        BeaconSessionsError::Kind::SessionInstallationsError,
        answers->idError ? answers->idError
                         : Error::make("BeaconSessions", 0,
                                       {{Error::kDescriptionKey,
                                         "The installation service gave no identifier."}}));
}

}  // namespace pex
