#pragma once
// A shared_ptr that some threads read while another replaces it. Used in place of
// std::atomic<std::shared_ptr>: the standard library we build with ends a load's internal lock
// with relaxed order, so a load is not ordered before the next store (a data race by the memory
// model, which ThreadSanitizer reports). An uncontended lock per read costs a reader taking one
// value per captured frame nothing measurable.
#include <memory>
#include <mutex>
#include <utility>

namespace pex {

template <typename T>
class SharedSlot {
  public:
    std::shared_ptr<T> load() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    // The old value is released after the lock: its destructor may be anything.
    void store(std::shared_ptr<T> value) { exchange(std::move(value)); }
    std::shared_ptr<T> exchange(std::shared_ptr<T> value) {
        {
            std::lock_guard lock(mutex_);
            value_.swap(value);
        }
        return value;
    }

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> value_;
};

}  // namespace pex
