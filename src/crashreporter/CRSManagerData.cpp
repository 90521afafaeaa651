#include "crashreporter/CRSManagerData.h"

#include "beacon-core/BCNAnalyticsInterop.h"
#include "crashreporter/CRSContextManager.h"
#include "crashreporter/reports/CRSExecutionIdentifierModel.h"
#include "crashreporter/reports/CRSInstallIdentifierModel.h"
#include "crashreporter/reports/CRSOnDemandModel.h"

namespace pex {

CRSManagerData::CRSManagerData(std::string beaconAppID,
                               std::shared_ptr<TXPTransport> beaconTransport,
                               std::shared_ptr<CRSInstallations> installations,
                               std::shared_ptr<BCNAnalyticsInterop> analytics,
                               std::shared_ptr<CRSFileManager> fileManager,
                               std::shared_ptr<CRSDataCollectionArbiter> dataArbiter,
                               std::shared_ptr<CRSSettings> settings,
                               std::shared_ptr<CRSOnDemandModel> onDemandModel,
                               std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel)
    : beaconAppID(std::move(beaconAppID)),
      beaconTransport(std::move(beaconTransport)),
      installations(installations),
      analytics(std::move(analytics)),
      fileManager(std::move(fileManager)),
      dataArbiter(std::move(dataArbiter)),
      appIDModel(std::move(appIDModel)),
      installIDModel(std::make_shared<CRSInstallIdentifierModel>(installations)),
      executionIDModel(std::make_shared<const CRSExecutionIdentifierModel>()),
      settings(std::move(settings)),
      onDemandModel(std::move(onDemandModel)),
      contextManager(std::make_shared<CRSContextManager>()),
      dispatchQueue(DispatchQueue::serial(kStartupQueueLabel)) {}

CRSManagerData::~CRSManagerData() = default;

}  // namespace pex
