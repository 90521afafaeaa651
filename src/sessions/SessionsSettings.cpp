#include "sessions/SessionsSettings.h"

#include "platform/foundation/ReferenceDate.h"

namespace pex {

double SessionsSettings::secondsSinceReferenceDate() {
    return ReferenceDate::secondsSinceNow();
}

SessionsSettings::SessionsSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                                   std::shared_ptr<InstallationsProtocol> installations)
    : SessionsSettings(std::make_unique<LocalOverrideSettings>(),
                       std::make_unique<RemoteSettings>(
                           appInfo, std::make_shared<SettingsDownloader>(appInfo, installations))) {
}

SessionsSettings::SessionsSettings(std::unique_ptr<SettingsProvider> localOverrides,
                                   std::unique_ptr<SettingsProvider> remoteSettings,
                                   CurrentTime currentTime)
    : localOverrides_(std::move(localOverrides)),
      remoteSettings_(std::move(remoteSettings)),
      currentTime_(currentTime ? std::move(currentTime) : secondsSinceReferenceDate) {}

bool SessionsSettings::sessionsEnabled() const {
    if (auto local = localOverrides_->sessionsEnabled()) return *local;
    if (auto remote = remoteSettings_->sessionsEnabled()) return *remote;
    return *sdkDefaults_.sessionsEnabled();
}

double SessionsSettings::sessionTimeout() const {
    if (auto local = localOverrides_->sessionTimeout()) return *local;
    if (auto remote = remoteSettings_->sessionTimeout()) return *remote;
    return *sdkDefaults_.sessionTimeout();
}

double SessionsSettings::samplingRate() const {
    if (auto local = localOverrides_->samplingRate()) return *local;
    if (auto remote = remoteSettings_->samplingRate()) return *remote;
    return *sdkDefaults_.samplingRate();
}

void SessionsSettings::updateSettings() {
    remoteSettings_->updateSettings(currentTime_());
}

}  // namespace pex
