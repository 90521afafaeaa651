#include "platform/systemconfiguration/FakeNetworkReachability.h"

namespace pex {

std::optional<NetworkReachability::Flags> FakeNetworkReachability::currentFlags() const {
    std::lock_guard lock(mutex_);
    return flags_;
}

bool FakeNetworkReachability::setChangeHandler(DispatchQueue queue, ChangeHandler onChange) {
    std::lock_guard lock(mutex_);
    queue_ = std::move(queue);
    onChange_ = std::move(onChange);
    return true;
}

void FakeNetworkReachability::setFlags(std::optional<Flags> flags) {
    std::lock_guard lock(mutex_);
    if (flags == flags_) return;
    flags_ = flags;
    if (queue_ && onChange_ && flags)
        queue_->async([handler = onChange_, value = *flags] { handler(value); });
}

}  // namespace pex
