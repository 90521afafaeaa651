#pragma once
// The launch marker: created at start and removed once the main queue has run after crash
// reporting was set up, so a marker found at start means the previous launch died early.
#include <string>

namespace pex {

class CRSFileManager;

class CRSLaunchMarkerModel {
  public:
    // `fileManager` outlives the model (both live for the SDK's lifetime).
    explicit CRSLaunchMarkerModel(const CRSFileManager& fileManager);

    // True (leaving the file) when the previous launch left its marker; otherwise creates it.
    bool checkForAndCreateLaunchMarker() const;
    std::string launchFailureMarkerPath() const;
    bool createLaunchFailureMarker() const;
    bool launchFailureMarkerPresent() const;
    bool removeLaunchFailureMarker() const;

  private:
    const CRSFileManager& fileManager_;
};

}  // namespace pex
