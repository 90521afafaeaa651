#pragma once
// Starts the crash-time context for this launch's report, from the report, the settings and
// the file manager, and keeps the report's metadata current when the sessions component
// announces a new app-quality session.
#include <memory>
#include <mutex>
#include <string>

#include "beacon-core/PRMPromise.h"
#include "crashreporter/runtime/CRSContextInitData.h"
#include "platform/foundation/Bundle.h"

namespace pex {

class CRSFileManager;
class CRSInternalReport;
class CRSSettings;

// The init data of the crash-time context for `report`.
CRSContextInitData CRSContextBuildInitData(const CRSInternalReport& report,
                                           const CRSSettings& settings,
                                           const CRSFileManager& fileManager,
                                           const std::string& appQualitySessionId,
                                           const std::string& installId = std::string());

class CRSContextManager {
  public:
    // `bundle` is what the metadata describes (the main bundle unless a test gives another).
    explicit CRSContextManager(Bundle bundle = Bundle::main());

    // Keeps the three (and the installation's identifier, empty when none is known yet) and
    // starts the context (on the main thread: it receives the reserved signal stack). The
    // promise is fulfilled once the context is complete; nothing when the report has no path.
    PRMPromiseRef setupContextWithReport(std::shared_ptr<CRSInternalReport> report,
                                         std::shared_ptr<const CRSSettings> settings,
                                         std::shared_ptr<const CRSFileManager> fileManager,
                                         std::string installId = std::string());
    // Before set-up there is nothing to build from: the default init data.
    CRSContextInitData buildInitData() const;

    // Stores the session; once the context exists, rewrites the report's metadata with it.
    // Any thread.
    void setAppQualitySessionId(const std::string& identifier);
    std::string appQualitySessionId() const;
    bool hasInitializedContext() const;

  private:
    CRSContextInitData buildInitDataLocked() const;

    const Bundle bundle_;
    std::mutex metadataWriteMutex_;  // taken before mutex_, never after
    mutable std::mutex mutex_;
    bool hasInitializedContext_ = false;  // the fields below too: guarded by mutex_
    std::string appQualitySessionId_;
    std::string installId_;
    std::shared_ptr<CRSInternalReport> report_;
    std::shared_ptr<const CRSSettings> settings_;
    std::shared_ptr<const CRSFileManager> fileManager_;
};

}  // namespace pex
