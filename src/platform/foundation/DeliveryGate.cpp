#include "platform/foundation/DeliveryGate.h"

#include <algorithm>

namespace pex {

bool DeliveryGate::enter() {
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    inside_.push_back(std::this_thread::get_id());
    return true;
}

void DeliveryGate::leave() {
    std::lock_guard lock(mutex_);
    const auto at = std::find(inside_.begin(), inside_.end(), std::this_thread::get_id());
    if (at != inside_.end()) inside_.erase(at);
    left_.notify_all();
}

void DeliveryGate::close() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    open_ = false;
    left_.wait(lock, [&] {
        return std::all_of(inside_.begin(), inside_.end(),
                           [&](const std::thread::id& id) { return id == self; });
    });
}

void DeliveryGate::open() {
    std::lock_guard lock(mutex_);
    open_ = true;
}

}  // namespace pex
