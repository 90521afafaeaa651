#include "platform/foundation/NotificationCenter.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/foundation/DeliveryGate.h"

namespace pex {

namespace {

struct Observer {
    NotificationCenter::ObserverId id = 0;
    const void* sender = nullptr;
    NotificationCenter::Handler handler;
    DeliveryGate gate;  // closed on removal
};

}  // namespace

struct NotificationCenter::State {
    std::mutex mutex;
    ObserverId nextId = 1;
    std::unordered_map<std::string, std::vector<std::shared_ptr<Observer>>> byName;
    std::unordered_map<ObserverId, std::string> nameOf;
};

NotificationCenter::NotificationCenter() : state_(std::make_unique<State>()) {}

NotificationCenter::~NotificationCenter() = default;

// Never destroyed: objects with static lifetime may still remove observers while the process
// exits.
NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* centre = new NotificationCenter;
    return *centre;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const std::string& name,
                                                               const void* sender,
                                                               Handler handler) {
    auto observer = std::make_shared<Observer>();
    observer->sender = sender;
    observer->handler = std::move(handler);
    std::lock_guard lock(state_->mutex);
    observer->id = state_->nextId++;
    state_->byName[name].push_back(observer);
    state_->nameOf.emplace(observer->id, name);
    return observer->id;
}

void NotificationCenter::removeObserver(ObserverId id) {
    std::shared_ptr<Observer> removed;  // released without the lock: the handler's captures
                                        // may remove other observers when destroyed
    {
        std::lock_guard lock(state_->mutex);
        auto name = state_->nameOf.find(id);
        if (name == state_->nameOf.end()) return;
        auto list = state_->byName.find(name->second);
        auto& observers = list->second;
        for (auto it = observers.begin(); it != observers.end(); ++it) {
            if ((*it)->id != id) continue;
            removed = *it;
            observers.erase(it);
            break;
        }
        if (observers.empty()) state_->byName.erase(list);
        state_->nameOf.erase(name);
    }
    // Callers destroy what the handler uses right after this returns, so a delivery running on
    // another thread is waited for; the lock is not held, as that handler may use the centre.
    if (removed) removed->gate.close();
}

void NotificationCenter::post(const std::string& name, const void* sender,
                              nlohmann::json userInfo) {
    // Handlers run without the lock, on a snapshot, so they may post, add and remove freely.
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard lock(state_->mutex);
        auto list = state_->byName.find(name);
        if (list == state_->byName.end()) return;
        for (const auto& observer : list->second) {
            if (!observer->sender || observer->sender == sender) targets.push_back(observer);
        }
    }
    const Notification notification{name, sender, std::move(userInfo)};
    for (const auto& observer : targets) {
        if (DeliveryGate::Pass pass{observer->gate}) observer->handler(notification);
    }
}

ScopedObserver::ScopedObserver(NotificationCenter& centre, NotificationCenter::ObserverId id)
    : centre_(&centre), id_(id) {}

ScopedObserver::ScopedObserver(ScopedObserver&& other) noexcept
    : centre_(std::exchange(other.centre_, nullptr)), id_(std::exchange(other.id_, 0)) {}

ScopedObserver& ScopedObserver::operator=(ScopedObserver&& other) noexcept {
    if (this != &other) {
        reset();
        centre_ = std::exchange(other.centre_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ScopedObserver::~ScopedObserver() {
    reset();
}

void ScopedObserver::reset() {
    if (centre_) centre_->removeObserver(id_);
    centre_ = nullptr;
    id_ = 0;
}

}  // namespace pex
