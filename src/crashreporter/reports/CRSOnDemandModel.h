#pragma once
// On-demand exception reports: reports the application asks for while it runs. Holds the
// reports recorded while data collection was off, newest first, until the unsent reports are
// sent (they then go with them) or the application deletes them.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pex {

class CRSFileManager;
class CRSSettings;

class CRSOnDemandModel {
  public:
    CRSOnDemandModel(std::shared_ptr<const CRSSettings> settings,
                     std::shared_ptr<const CRSFileManager> fileManager);

    const std::shared_ptr<const CRSSettings>& settings() const { return settings_; }
    const std::shared_ptr<const CRSFileManager>& fileManager() const { return fileManager_; }

    std::vector<std::string> storedActiveReportPaths() const;
    void setStoredActiveReportPaths(std::vector<std::string> paths);
    // The stored paths, leaving the list empty.
    std::vector<std::string> takeStoredActiveReportPaths();

  private:
    const std::shared_ptr<const CRSSettings> settings_;
    const std::shared_ptr<const CRSFileManager> fileManager_;
    mutable std::mutex mutex_;
    std::vector<std::string> storedActiveReportPaths_;  // guarded by mutex_
};

}  // namespace pex
