// Load-time set-up of the transport, before the application's own code runs. Making these
// objects touches no disk: the storage finds its folder on its first file operation.
#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPLifecycle.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"
#include "BeaconTransport/cct/TXBUploader.h"

namespace pex {
namespace {

struct TXPLoadTimeRegistration {
    TXPLoadTimeRegistration() {
        TXPApplication::sharedApplication();
        TXPRegistrar& registrar = TXPRegistrar::sharedInstance();
        for (std::int64_t target : {1000, 1001, 1002, 1003})
            registrar.registerUploader(TXBUploader::sharedInstance(), target);
        for (std::int64_t target : {999, 1000, 1001, 1002, 1003})
            registrar.registerStorage(TXPFlatFileStorage::sharedInstance(), target);
        for (std::int64_t target : {1002, 1001})
            registrar.registerMetricsController(TXPMetricsController::sharedInstance(), target);
        TXPUploadCoordinator::sharedInstance();  // starts the upload timer
        TXPLifecycle::sharedInstance();
    }
};

const TXPLoadTimeRegistration registration;

}  // namespace
}  // namespace pex
