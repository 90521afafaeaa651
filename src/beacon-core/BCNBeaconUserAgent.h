#pragma once
// The user-agent text the SDK sends to its back ends: one "<name>/<version>" item for each
// registered library and each known fact about the environment, sorted without regard to
// case and joined with blanks. The text is cached until an entry changes.
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace pex {

class BCNBeaconUserAgent {
  public:
    using Components = std::map<std::string, std::string>;

    std::string beaconUserAgent();
    // Stores `value` under `component`; none removes the entry.
    void setValue(const std::optional<std::string>& value, const std::string& component);
    // The library entries are forgotten; the environment entries remain.
    void reset();
    // This object's environment entries, read on first use.
    Components environmentComponents();
    // The environment as it is now; facts that do not exist here are left out.
    static Components currentEnvironmentComponents();

  private:
    std::mutex mutex_;
    Components valuesByComponent_;
    std::optional<Components> environmentComponents_;
    std::optional<std::string> beaconUserAgent_;
    Components environmentComponentsLocked();
};

}  // namespace pex
