#pragma once
// One value guarded by one lock. Every access goes through `withLock` (change in place) or
// `value` (a copy). The lock is not recursive: a body must never touch the same container.
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

namespace pex {

template <typename Value>
class UnfairLock {
  public:
    explicit UnfairLock(Value value = Value())
        : lock_(std::make_unique<std::mutex>()), value_(std::move(value)) {}
    UnfairLock(const UnfairLock&) = delete;
    UnfairLock& operator=(const UnfairLock&) = delete;

    // Runs `body` with the value under the lock and returns what it returns. An exception from
    // the body passes on to the caller after the lock is released; the value keeps whatever
    // the body changed before it threw.
    template <typename Body>
    decltype(auto) withLock(Body&& body) {
        std::lock_guard guard(*lock_);
        return std::forward<Body>(body)(value_);
    }

    // A copy of the value, taken under the lock.
    Value value() const {
        std::lock_guard guard(*lock_);
        return value_;
    }

  private:
    // Kept apart from the container, as the lock word must never move.
    const std::unique_ptr<std::mutex> lock_;
    Value value_;
};

}  // namespace pex
