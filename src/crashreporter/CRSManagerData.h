#pragma once
// What every manager of the crash SDK shares: the app's identity, the transport, the
// installations, the report tree, the data-collection switch, the settings, the identifiers of
// this launch and the one serial work queue. Operations submitted to `dispatchQueue` run one at
// a time, in submission order, so report processing, uploads and deletions never overlap.
#include <memory>
#include <string>

#include "platform/foundation/DispatchQueue.h"

namespace pex {

class BCNAnalyticsInterop;
class CRSApplicationIdentifierModel;
class CRSContextManager;
class CRSDataCollectionArbiter;
class CRSExecutionIdentifierModel;
class CRSFileManager;
class CRSInstallIdentifierModel;
class CRSInstallations;
class CRSOnDemandModel;
class CRSSettings;
class TXPTransport;

class CRSManagerData {
  public:
    static constexpr const char* kStartupQueueLabel = "com.beacon.crashreporter.startup";

    CRSManagerData(std::string beaconAppID, std::shared_ptr<TXPTransport> beaconTransport,
                   std::shared_ptr<CRSInstallations> installations,
                   std::shared_ptr<BCNAnalyticsInterop> analytics,
                   std::shared_ptr<CRSFileManager> fileManager,
                   std::shared_ptr<CRSDataCollectionArbiter> dataArbiter,
                   std::shared_ptr<CRSSettings> settings,
                   std::shared_ptr<CRSOnDemandModel> onDemandModel,
                   std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel);
    ~CRSManagerData();

    const std::string beaconAppID;
    const std::shared_ptr<TXPTransport> beaconTransport;
    const std::shared_ptr<CRSInstallations> installations;
    // None when the application carries no analytics component.
    const std::shared_ptr<BCNAnalyticsInterop> analytics;
    const std::shared_ptr<CRSFileManager> fileManager;
    const std::shared_ptr<CRSDataCollectionArbiter> dataArbiter;
    // None when the running program's image could not be identified.
    const std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel;
    const std::shared_ptr<CRSInstallIdentifierModel> installIDModel;
    const std::shared_ptr<const CRSExecutionIdentifierModel> executionIDModel;
    const std::shared_ptr<CRSSettings> settings;
    const std::shared_ptr<CRSOnDemandModel> onDemandModel;
    const std::shared_ptr<CRSContextManager> contextManager;
    const DispatchQueue dispatchQueue;
};

}  // namespace pex
