#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"

#include <set>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/TXPLibrary/TXPPlatform.h"
#include "BeaconTransport/TXPLibrary/TXPReachability.h"

namespace pex {

const std::shared_ptr<TXPUploadCoordinator>& TXPUploadCoordinator::sharedInstance() {
    static auto* instance = [] {
        auto* coordinator = new std::shared_ptr<TXPUploadCoordinator>(
            make(TXPRegistrar::sharedPointer(), TXPApplication::sharedApplication(),
                 [] { return TXPReachability::currentFlags(); }));
        (*coordinator)->startTimer();
        return coordinator;
    }();
    return *instance;
}

std::shared_ptr<TXPUploadCoordinator> TXPUploadCoordinator::make(
    std::shared_ptr<TXPRegistrar> registrar, TXPApplicationProtocol& application,
    FlagsSource flags) {
    return std::shared_ptr<TXPUploadCoordinator>(
        new TXPUploadCoordinator(std::move(registrar), application, std::move(flags)));
}

TXPUploadCoordinator::TXPUploadCoordinator(std::shared_ptr<TXPRegistrar> registrar,
                                           TXPApplicationProtocol& application, FlagsSource flags)
    : coordinationQueue_(DispatchQueue::serial("com.beacon.TXPUploadCoordinator")),
      registrar_(std::move(registrar)),
      application_(application),
      flags_(std::move(flags)) {}

void TXPUploadCoordinator::startTimer() {
    coordinationQueue_.async([self = shared_from_this()] {
        if (self->timerRunning_) return;
        self->timerRunning_ = true;
        self->firings_ = 0;
        std::uint64_t generation = ++self->timerGeneration_;
        std::weak_ptr<TXPUploadCoordinator> weakSelf = self;
        self->coordinationQueue_.asyncAfter(kFirstFiring, [weakSelf, generation] {
            auto self = weakSelf.lock();
            if (!self || generation != self->timerGeneration_) return;
            // Events expire on disk while the application is not running, and this platform
            // posts no foreground notification: sweep when uploads start.
            self->signalToStoragesToCheckExpirations();
            self->timerFired();
            self->timer_ = std::make_unique<DispatchTimer>(self->coordinationQueue_, kTimerInterval,
                                                           [weakSelf] {
                                                               if (auto self = weakSelf.lock())
                                                                   self->timerFired();
                                                           });
            self->timer_->resume();
        });
        TXPLogDebug(0, "Upload timer started");
    });
}

void TXPUploadCoordinator::stopTimer() {
    coordinationQueue_.async([self = shared_from_this()] {
        ++self->timerGeneration_;
        self->timerRunning_ = false;
        self->timer_.reset();
    });
}

bool TXPUploadCoordinator::isTimerRunning() const {
    bool running = false;
    coordinationQueue_.sync([&] { running = timerRunning_; });
    return running;
}

void TXPUploadCoordinator::timerFired() {
    if (application_.isRunningInBackground()) return;
    std::int64_t conditions = uploadConditions();
    TXPLogDebug(0, "Upload timer fired");
    std::vector<std::int64_t> targets;
    for (const auto& [target, uploader] : registrar_->targetToUploader()) targets.push_back(target);
    uploadTargetsNow(targets, conditions);
    if (++firings_ % kFiringsPerExpirySweep == 0) signalToStoragesToCheckExpirations();
}

void TXPUploadCoordinator::forceUploadForTarget(std::int64_t target) {
    coordinationQueue_.async([self = shared_from_this(), target] {
        TXPLogDebug(0, "Forcing an upload of target " + std::to_string(target));
        self->uploadTargetsNow({target}, self->uploadConditions() | TXPUploadForced);
    });
}

void TXPUploadCoordinator::uploadTargets(std::vector<std::int64_t> targets,
                                         std::int64_t conditions) {
    coordinationQueue_.async([self = shared_from_this(), targets = std::move(targets), conditions] {
        self->uploadTargetsNow(targets, conditions);
    });
}

void TXPUploadCoordinator::uploadTargetsNow(const std::vector<std::int64_t>& targets,
                                            std::int64_t conditions) {
    if (conditions & TXPNetworkNone) return;  // forced or not
    for (std::int64_t target : targets)
        if (std::shared_ptr<TXPUploader> uploader = registrar_->uploaderForTarget(target))
            uploader->uploadTarget(static_cast<std::int32_t>(target), conditions);
}

std::int64_t TXPUploadCoordinator::uploadConditions() const {
    return TXPUploadConditionsForFlags(flags_());
}

void TXPUploadCoordinator::signalToStoragesToCheckExpirations() {
    std::set<TXPStorageProtocol*> asked;
    for (const auto& [target, storage] : registrar_->targetToStorage())
        if (asked.insert(storage.get()).second) storage->checkForExpirations();
}

std::shared_ptr<TXPStorageProtocol> TXPUploadCoordinator::storageForTarget(
    std::int64_t target) const {
    std::shared_ptr<TXPStorageProtocol> storage = registrar_->storageForTarget(target);
    TXPAssert(storage, "A storage must be registered for target " + std::to_string(target));
    return storage;
}

void TXPUploadCoordinator::appWillForeground(TXPApplication&) {
    startTimer();
    signalToStoragesToCheckExpirations();
}

void TXPUploadCoordinator::appWillBackground(TXPApplication&) {
    stopTimer();
}

void TXPUploadCoordinator::appWillTerminate(TXPApplication&) {
    stopTimer();
}

}  // namespace pex
