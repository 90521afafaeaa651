#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

const std::shared_ptr<TXPRegistrar>& TXPRegistrar::sharedPointer() {
    static auto* instance = new std::shared_ptr<TXPRegistrar>(make());
    return *instance;
}

TXPRegistrar& TXPRegistrar::sharedInstance() {
    return *sharedPointer();
}

std::shared_ptr<TXPRegistrar> TXPRegistrar::make() {
    return std::shared_ptr<TXPRegistrar>(new TXPRegistrar);
}

TXPRegistrar::TXPRegistrar() : registrarQueue_(DispatchQueue::serial("com.beacon.TXPRegistrar")) {}

void TXPRegistrar::registerUploader(std::shared_ptr<TXPUploader> uploader, std::int64_t target) {
    registrarQueue_.async([weakSelf = weak_from_this(), uploader = std::move(uploader), target] {
        auto self = weakSelf.lock();
        if (!self) return;
        TXPLogDebug(0, "Registered an uploader for target:" + std::to_string(target));
        self->targetToUploader_[target] = uploader;
    });
}

void TXPRegistrar::registerStorage(std::shared_ptr<TXPStorageProtocol> storage,
                                   std::int64_t target) {
    registrarQueue_.async([weakSelf = weak_from_this(), storage = std::move(storage), target] {
        auto self = weakSelf.lock();
        if (!self) return;
        TXPLogDebug(0, "Registered storage for target:" + std::to_string(target));
        self->targetToStorage_[target] = storage;
        self->setMetricsControllerAsStorageDelegateForTarget(target);
    });
}

void TXPRegistrar::registerMetricsController(
    std::shared_ptr<TXPMetricsControllerProtocol> controller, std::int64_t target) {
    registrarQueue_.async(
        [weakSelf = weak_from_this(), controller = std::move(controller), target] {
            auto self = weakSelf.lock();
            if (!self) return;
            TXPLogDebug(0, "Registered metrics controller for target:" + std::to_string(target));
            self->targetToMetricsController_[target] = controller;
            self->setMetricsControllerAsStorageDelegateForTarget(target);
        });
}

void TXPRegistrar::setMetricsControllerAsStorageDelegateForTarget(std::int64_t target) {
    auto storage = targetToStorage_.find(target);
    if (storage == targetToStorage_.end()) return;
    auto controller = targetToMetricsController_.find(target);
    if (controller == targetToMetricsController_.end())
        storage->second->setDelegate({});
    else
        storage->second->setDelegate(controller->second);
}

TXPRegistrar::Table<TXPUploader> TXPRegistrar::targetToUploader() const {
    Table<TXPUploader> copy;
    registrarQueue_.sync([&] { copy = targetToUploader_; });
    return copy;
}

TXPRegistrar::Table<TXPStorageProtocol> TXPRegistrar::targetToStorage() const {
    Table<TXPStorageProtocol> copy;
    registrarQueue_.sync([&] { copy = targetToStorage_; });
    return copy;
}

TXPRegistrar::Table<TXPMetricsControllerProtocol> TXPRegistrar::targetToMetricsController() const {
    Table<TXPMetricsControllerProtocol> copy;
    registrarQueue_.sync([&] { copy = targetToMetricsController_; });
    return copy;
}

namespace {
template <typename Component>
std::shared_ptr<Component> lookUp(const TXPRegistrar::Table<Component>& table,
                                  std::int64_t target) {
    auto found = table.find(target);
    return found == table.end() ? nullptr : found->second;
}
}  // namespace

std::shared_ptr<TXPStorageProtocol> TXPRegistrar::storageForTarget(std::int64_t target) const {
    std::shared_ptr<TXPStorageProtocol> storage;
    registrarQueue_.sync([&] { storage = lookUp(targetToStorage_, target); });
    return storage;
}

std::shared_ptr<TXPUploader> TXPRegistrar::uploaderForTarget(std::int64_t target) const {
    std::shared_ptr<TXPUploader> uploader;
    registrarQueue_.sync([&] { uploader = lookUp(targetToUploader_, target); });
    return uploader;
}

std::shared_ptr<TXPMetricsControllerProtocol> TXPRegistrar::metricsControllerForTarget(
    std::int64_t target) const {
    std::shared_ptr<TXPMetricsControllerProtocol> controller;
    registrarQueue_.sync([&] { controller = lookUp(targetToMetricsController_, target); });
    return controller;
}

template <typename Call>
void TXPRegistrar::fanOut(Call call) {
    for (const auto& [target, uploader] : targetToUploader())
        if (auto listener = std::dynamic_pointer_cast<TXPLifecycleProtocol>(uploader))
            call(*listener);
    for (const auto& [target, storage] : targetToStorage())
        if (auto listener = std::dynamic_pointer_cast<TXPLifecycleProtocol>(storage))
            call(*listener);
}

void TXPRegistrar::appWillBackground(TXPApplication& application) {
    fanOut([&](TXPLifecycleProtocol& listener) { listener.appWillBackground(application); });
}

void TXPRegistrar::appWillForeground(TXPApplication& application) {
    fanOut([&](TXPLifecycleProtocol& listener) { listener.appWillForeground(application); });
}

void TXPRegistrar::appWillTerminate(TXPApplication& application) {
    fanOut([&](TXPLifecycleProtocol& listener) { listener.appWillTerminate(application); });
}

std::shared_ptr<TXPStorageProtocol> TXPRegisteredStorageForTarget(std::int64_t target) {
    return TXPRegistrar::sharedInstance().storageForTarget(target);
}

std::shared_ptr<TXPMetricsControllerProtocol> TXPRegisteredMetricsControllerForTarget(
    std::int64_t target) {
    return TXPRegistrar::sharedInstance().metricsControllerForTarget(target);
}

}  // namespace pex
