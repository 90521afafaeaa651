#pragma once
// The install identifier that ties the reports of one installation together. It is a UUID kept
// in the crash SDK's key-value store, replaced when the installation service's identifier
// (FID) changes, which shows the app was reinstalled or its data reset.
//
// Keys in the store: "com.crashreporter.iuuid" (the install UUID), "com.crashreporter.install.iid"
// (SHA-256 of the last FID seen), "com.crashreporter.install.adid" (an older value, removed).
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

namespace pex {

class CRSInstallations;
class CRSUserDefaults;

inline constexpr char kCRSInstallUUIDKey[] = "com.crashreporter.iuuid";
inline constexpr char kCRSInstallIIDKey[] = "com.crashreporter.install.iid";
inline constexpr char kCRSInstallLegacyADIDKey[] = "com.crashreporter.install.adid";

class CRSInstallIdentifierModel {
  public:
    // How long `regenerateInstallIDIfNeededWithBlock` waits for the installation service, on
    // the process's clock.
    static constexpr std::chrono::seconds kInstallationsTimeout{10};

    // Reads the stored install UUID, or makes and stores one. `store` outlives the model.
    explicit CRSInstallIdentifierModel(std::shared_ptr<CRSInstallations> installations);
    CRSInstallIdentifierModel(std::shared_ptr<CRSInstallations> installations,
                              CRSUserDefaults& store);

    std::string installID() const;
    void setInstallID(std::string installID);
    const std::shared_ptr<CRSInstallations>& installations() const { return installations_; }

    std::optional<std::string> readInstallationUUID() const;
    // A new install UUID, stored (not yet written to disk).
    std::string generateInstallationUUID();

    // Asks the installation service for its identifier and auth token at once, waits up to
    // `kInstallationsTimeout` for both, rotates the install UUID when the identifier changed,
    // then calls `block` on this thread with what arrived (empty texts for what did not).
    // Answers that arrive after the wait are ignored. Returns whether the UUID rotated. Blocks:
    // never call it on the main thread.
    bool regenerateInstallIDIfNeededWithBlock(
        const std::function<void(const std::string& fid, const std::string& authToken)>& block);

    // Replaces the install UUID when `fid` differs from the FID seen before (the first FID
    // seen is only remembered). True when the UUID was replaced.
    bool rotateCrashReporterInstallUUIDWithIID(const std::optional<std::string>& fid,
                                               const ErrorRef& error);

  private:
    std::shared_ptr<CRSInstallations> installations_;
    CRSUserDefaults& store_;
    mutable std::mutex lock_;
    std::string installID_;
};

}  // namespace pex
