#pragma once
// One source of the sessions settings: each value is answered only when the source has it
// with the expected type.
#include <optional>

namespace pex {

class SettingsProvider {
  public:
    virtual ~SettingsProvider() = default;
    virtual std::optional<bool> sessionsEnabled() const = 0;
    virtual std::optional<double> sessionTimeout() const = 0;
    virtual std::optional<double> samplingRate() const = 0;
    // `now`: seconds since 2001-01-01 UTC.
    virtual void updateSettings(double now) = 0;
    virtual bool isSettingsStale(double now) = 0;
};

// The built-in values: enabled, 30 minutes, every session.
class SDKDefaultSettings : public SettingsProvider {
  public:
    std::optional<bool> sessionsEnabled() const override { return true; }
    std::optional<double> sessionTimeout() const override { return 1800; }
    std::optional<double> samplingRate() const override { return 1.0; }
    void updateSettings(double) override {}
    bool isSettingsStale(double) override { return false; }
};

}  // namespace pex
