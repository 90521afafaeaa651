#include "platform/foundation/BackgroundThreads.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/URLSession.h"
#include "platform/foundation/WorkerPool.h"

namespace pex {

namespace {

struct Stops {
    std::mutex mutex;
    std::map<std::uint64_t, std::function<void()>> byId;
    std::uint64_t nextId = 1;
};

Stops& stops() {
    static auto* registered = new Stops;  // never destroyed: owners may go while the process exits
    return *registered;
}

}  // namespace

BackgroundThreads::Registration::Registration(Registration&& other) noexcept
    : id_(std::exchange(other.id_, 0)) {}

BackgroundThreads::Registration& BackgroundThreads::Registration::operator=(
    Registration&& other) noexcept {
    if (this != &other) {
        drop();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

BackgroundThreads::Registration::~Registration() {
    drop();
}

void BackgroundThreads::Registration::drop() {
    if (id_ == 0) return;
    Stops& registered = stops();
    std::lock_guard lock(registered.mutex);
    registered.byId.erase(std::exchange(id_, 0));
}

BackgroundThreads::Registration BackgroundThreads::atStop(std::function<void()> stop) {
    Stops& registered = stops();
    std::lock_guard lock(registered.mutex);
    const std::uint64_t id = registered.nextId++;
    registered.byId.emplace(id, std::move(stop));
    return Registration(id);
}

bool BackgroundThreads::stopAll(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    {
        Stops& registered = stops();
        // Held throughout, so no owner goes away while its thread is being ended.
        std::lock_guard lock(registered.mutex);
        for (auto& [id, stop] : registered.byId) stop();
    }
    URLSession::endEverySession();
    // Work that waits for a delay or a time-out is not kept waiting: its time is up.
    const std::shared_ptr<SystemClock> clock = Clock::system();
    clock->runOut();
    if (!WorkerPool::shared().stop(deadline)) return false;
    clock->stop();
    return true;
}

}  // namespace pex
