#pragma once
// Turns the transport's three application notifications into lifecycle calls on the upload
// coordinator and the registrar (which passes them to every registered uploader and storage),
// on the posting thread. The transformer answers none of them.
#include <functional>
#include <memory>

#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

class TXPLifecycle {
  public:
    struct Receivers {
        std::shared_ptr<TXPUploadCoordinator> coordinator;
        std::shared_ptr<TXPRegistrar> registrar;
    };

    // Relays to the shared coordinator and registrar.
    static TXPLifecycle& sharedInstance();
    // Relays to the receivers `receivers` gives when a notification arrives; `application`
    // outlives the lifecycle.
    TXPLifecycle(TXPApplication& application, std::function<Receivers()> receivers);

    void applicationDidEnterBackgroundNotification(const Notification& notification);
    void applicationWillEnterForegroundNotification(const Notification& notification);
    void applicationWillTerminateNotification(const Notification& notification);

  private:
    template <typename Call>
    void relay(const char* verb, Call call);

    TXPApplication& application_;
    const std::function<Receivers()> receivers_;
    ScopedObserver backgroundObserver_;
    ScopedObserver foregroundObserver_;
    ScopedObserver terminateObserver_;
};

}  // namespace pex
