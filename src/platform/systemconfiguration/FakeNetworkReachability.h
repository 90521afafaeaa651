#pragma once
// Reachability whose flags a test sets by hand; a change reaches the handler like a real one.
#include <mutex>

#include "platform/systemconfiguration/NetworkReachability.h"

namespace pex {

class FakeNetworkReachability : public NetworkReachability {
  public:
    explicit FakeNetworkReachability(std::optional<Flags> flags = kReachable) : flags_(flags) {}

    std::optional<Flags> currentFlags() const override;
    bool setChangeHandler(DispatchQueue queue, ChangeHandler onChange) override;
    // Posts the handler when the flags differ from before.
    void setFlags(std::optional<Flags> flags);

  private:
    mutable std::mutex mutex_;
    std::optional<Flags> flags_;
    std::optional<DispatchQueue> queue_;
    ChangeHandler onChange_;
};

}  // namespace pex
