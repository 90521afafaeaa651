#pragma once
// Waiting for work that ends on another queue, without sleeping through any delay: results
// are handed over through a promise, and clock-driven retries are advanced by hand.
#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace pex::test {

// Polls `done` until it holds or `timeout` passes; true when it held.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

template <typename T>
bool ready(std::future<T>& future, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return future.wait_for(timeout) == std::future_status::ready;
}

}  // namespace pex::test
