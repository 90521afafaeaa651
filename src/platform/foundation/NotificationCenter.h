#pragma once
// Process-wide notifications by name, with an optional sender and a JSON user-info.
// Delivery is synchronous, on the poster's thread, in the order observers were added.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

struct Notification {
    std::string name;
    const void* sender = nullptr;  // identity only; never dereferenced by the centre
    nlohmann::json userInfo;       // null when none
};

class NotificationCenter {
  public:
    using ObserverId = std::uint64_t;
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // `sender` nullptr observes every sender. An observer removed while a post is running is
    // not called afterwards; one added during a post is called from the next post on.
    // `removeObserver` returns once the handler runs on no other thread, so what it uses may be
    // destroyed next; called from inside that handler it does not wait for itself.
    ObserverId addObserver(const std::string& name, const void* sender, Handler handler);
    void removeObserver(ObserverId id);

    void post(const std::string& name, const void* sender = nullptr,
              nlohmann::json userInfo = nullptr);

    NotificationCenter();
    ~NotificationCenter();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Removes its observer when destroyed: the usual way for an object to observe.
class ScopedObserver {
  public:
    ScopedObserver() = default;
    ScopedObserver(NotificationCenter& centre, NotificationCenter::ObserverId id);
    ScopedObserver(ScopedObserver&& other) noexcept;
    ScopedObserver& operator=(ScopedObserver&& other) noexcept;
    ~ScopedObserver();
    void reset();

  private:
    NotificationCenter* centre_ = nullptr;
    NotificationCenter::ObserverId id_ = 0;
};

}  // namespace pex
