#pragma once
// The three values that steer the sessions component, each from the first source that has it.
namespace pex {

class SettingsProtocol {
  public:
    virtual ~SettingsProtocol() = default;
    virtual bool sessionsEnabled() const = 0;
    virtual double sessionTimeout() const = 0;  // seconds
    virtual double samplingRate() const = 0;
    // Downloads fresh remote settings when the cached ones have expired.
    virtual void updateSettings() = 0;
};

}  // namespace pex
