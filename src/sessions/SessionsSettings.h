#pragma once
// The effective sessions settings: the application's own override, else the downloaded
// value, else the built-in default.
#include <functional>
#include <memory>

#include "sessions/LocalOverrideSettings.h"
#include "sessions/RemoteSettings.h"
#include "sessions/SettingsProtocol.h"

namespace pex {

class SessionsSettings : public SettingsProtocol {
  public:
    // Seconds since 2001-01-01 UTC.
    using CurrentTime = std::function<double()>;

    SessionsSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                     std::shared_ptr<InstallationsProtocol> installations);
    // The sources and the clock given, for tests.
    SessionsSettings(std::unique_ptr<SettingsProvider> localOverrides,
                     std::unique_ptr<SettingsProvider> remoteSettings,
                     CurrentTime currentTime = nullptr);

    bool sessionsEnabled() const override;
    double sessionTimeout() const override;
    double samplingRate() const override;
    void updateSettings() override;

    // The wall clock as seconds since 2001-01-01 UTC.
    static double secondsSinceReferenceDate();

  private:
    SDKDefaultSettings sdkDefaults_;
    std::unique_ptr<SettingsProvider> localOverrides_;
    std::unique_ptr<SettingsProvider> remoteSettings_;
    CurrentTime currentTime_;
};

}  // namespace pex
