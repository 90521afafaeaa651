#pragma once
// The transport's directory: per upload target, the uploader that sends its events, the
// storage that holds them and the metrics controller that counts what is lost. Components
// register themselves; they meet only here. Every change and read of the tables runs on one
// serial queue: writes asynchronously, reads synchronously.
#include <cstdint>
#include <map>
#include <memory>

#include "BeaconTransport/TXPLibrary/TXPLifecycleProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsControllerProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPStorageProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPUploader.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class TXPRegistrar : public TXPLifecycleProtocol,
                     public std::enable_shared_from_this<TXPRegistrar> {
  public:
    template <typename Component>
    using Table = std::map<std::int64_t, std::shared_ptr<Component>>;

    static TXPRegistrar& sharedInstance();
    static const std::shared_ptr<TXPRegistrar>& sharedPointer();
    // A registrar of its own (tests).
    static std::shared_ptr<TXPRegistrar> make();

    // A later registration for the same target replaces the earlier one.
    void registerUploader(std::shared_ptr<TXPUploader> uploader, std::int64_t target);
    void registerStorage(std::shared_ptr<TXPStorageProtocol> storage, std::int64_t target);
    void registerMetricsController(std::shared_ptr<TXPMetricsControllerProtocol> controller,
                                   std::int64_t target);

    // Copies of the tables. Never called from the registrar's own queue.
    Table<TXPUploader> targetToUploader() const;
    Table<TXPStorageProtocol> targetToStorage() const;
    Table<TXPMetricsControllerProtocol> targetToMetricsController() const;

    std::shared_ptr<TXPStorageProtocol> storageForTarget(std::int64_t target) const;
    std::shared_ptr<TXPUploader> uploaderForTarget(std::int64_t target) const;
    std::shared_ptr<TXPMetricsControllerProtocol> metricsControllerForTarget(
        std::int64_t target) const;

    // Passes the call to every registered uploader and storage that hears lifecycle calls,
    // once per target it is registered for.
    void appWillBackground(TXPApplication& application) override;
    void appWillForeground(TXPApplication& application) override;
    void appWillTerminate(TXPApplication& application) override;

  private:
    TXPRegistrar();
    // On the registrar queue: the target's controller becomes its storage's delegate.
    void setMetricsControllerAsStorageDelegateForTarget(std::int64_t target);
    template <typename Call>
    void fanOut(Call call);

    DispatchQueue registrarQueue_;
    Table<TXPUploader> targetToUploader_;                            // registrarQueue_ only
    Table<TXPStorageProtocol> targetToStorage_;                      // registrarQueue_ only
    Table<TXPMetricsControllerProtocol> targetToMetricsController_;  // registrarQueue_ only
};

// Lookups in the shared registrar.
std::shared_ptr<TXPStorageProtocol> TXPRegisteredStorageForTarget(std::int64_t target);
std::shared_ptr<TXPMetricsControllerProtocol> TXPRegisteredMetricsControllerForTarget(
    std::int64_t target);

}  // namespace pex
