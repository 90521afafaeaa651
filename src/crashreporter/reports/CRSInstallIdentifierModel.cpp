#include "crashreporter/reports/CRSInstallIdentifierModel.h"

#include <condition_variable>

#include "crashreporter/CRSUserDefaults.h"
#include "crashreporter/reports/CRSInstallations.h"
#include "crashreporter/runtime/CRSHex.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSUUID.h"
#include "platform/foundation/Clock.h"

namespace pex {

namespace {

// What the two installation requests bring back. Owned jointly by the waiting caller, both
// completions and the time-out, so an answer that comes after the caller gave up touches only
// this, and finds it closed.
struct InstallationAnswers {
    std::mutex lock;
    std::condition_variable changed;
    std::string fid;
    std::string authToken;
    bool rotated = false;
    int answered = 0;
    bool timedOut = false;
    bool closed = false;  // the caller stopped waiting; later answers are ignored
};

}  // namespace

CRSInstallIdentifierModel::CRSInstallIdentifierModel(
    std::shared_ptr<CRSInstallations> installations)
    : CRSInstallIdentifierModel(std::move(installations), CRSUserDefaults::standardUserDefaults()) {
}

CRSInstallIdentifierModel::CRSInstallIdentifierModel(
    std::shared_ptr<CRSInstallations> installations, CRSUserDefaults& store)
    : installations_(std::move(installations)), store_(store) {
    auto stored = readInstallationUUID();
    if (!stored) {
        CRSDebugLog("Generating Install ID");
        stored = generateInstallationUUID();
        store_.synchronize();
    }
    setInstallID(*stored);
}

std::string CRSInstallIdentifierModel::installID() const {
    std::lock_guard guard(lock_);
    return installID_;
}

void CRSInstallIdentifierModel::setInstallID(std::string installID) {
    std::lock_guard guard(lock_);
    installID_ = std::move(installID);
}

std::optional<std::string> CRSInstallIdentifierModel::readInstallationUUID() const {
    return store_.stringForKey(kCRSInstallUUIDKey);
}

std::string CRSInstallIdentifierModel::generateInstallationUUID() {
    std::string uuid = CRSNewUUIDString();
    store_.setString(uuid, kCRSInstallUUIDKey);
    return uuid;
}

bool CRSInstallIdentifierModel::rotateCrashReporterInstallUUIDWithIID(
    const std::optional<std::string>& fid, const ErrorRef& error) {
    const auto legacy = store_.stringForKey(kCRSInstallLegacyADIDKey);
    if (legacy && !legacy->empty()) {
        store_.removeObjectForKey(kCRSInstallLegacyADIDKey);
        store_.synchronize();
    }
    if (error) {
        CRSErrorLog("Failed to get Beacon Instance ID: " + error->description());
        return false;
    }
    if (!fid || fid->empty()) {
        CRSErrorLog("Beacon Instance ID was empty when checked for changes");
        return false;
    }
    const std::string hash = CRS256HashBytes(fid->data(), fid->size());
    const auto previous = store_.stringForKey(kCRSInstallIIDKey);
    if (previous == hash) return false;

    bool rotated = false;
    if (previous && !previous->empty()) {
        CRSDebugLog("Regenerating Install ID");
        setInstallID(generateInstallationUUID());
        rotated = true;
    }
    store_.setString(hash, kCRSInstallIIDKey);
    store_.synchronize();
    return rotated;
}

bool CRSInstallIdentifierModel::regenerateInstallIDIfNeededWithBlock(
    const std::function<void(const std::string& fid, const std::string& authToken)>& block) {
    auto answers = std::make_shared<InstallationAnswers>();
    const auto answer = [](InstallationAnswers& state) {
        ++state.answered;
        state.changed.notify_all();
    };

    std::shared_ptr<Clock> clock = Clock::current();
    const Clock::TimerId timer = clock->schedule(clock->now() + kInstallationsTimeout, [answers] {
        std::lock_guard guard(answers->lock);
        answers->timedOut = true;
        answers->changed.notify_all();
    });

    installations_->authTokenWithCompletion(
        [answers, answer](std::optional<std::string> token, ErrorRef) {
            std::lock_guard guard(answers->lock);
            if (answers->closed) return;
            answers->authToken = token.value_or(std::string());
            answer(*answers);
        });
    installations_->installationIDWithCompletion(
        [this, answers, answer](std::optional<std::string> fid, ErrorRef error) {
            // While the answers are open the caller is still waiting, so the model is alive;
            // the rotation runs under the answers' lock so the caller cannot leave meanwhile.
            std::lock_guard guard(answers->lock);
            if (answers->closed) return;
            answers->fid = fid.value_or(std::string());
            answers->rotated = rotateCrashReporterInstallUUIDWithIID(fid, error);
            if (answers->rotated) {
                CRSInfoLog("Rotated CrashReporter Install UUID because Beacon Install ID changed");
            }
            answer(*answers);
        });

    std::string fid;
    std::string authToken;
    bool rotated = false;
    {
        std::unique_lock guard(answers->lock);
        answers->changed.wait(guard, [&] { return answers->answered >= 2 || answers->timedOut; });
        if (answers->answered < 2) {
            CRSErrorLog("CrashReporter timed out while checking for Beacon Installation ID");
        }
        answers->closed = true;
        fid = answers->fid;
        authToken = answers->authToken;
        rotated = answers->rotated;
    }
    clock->cancel(timer);
    block(fid, authToken);
    return rotated;
}

}  // namespace pex
