#include "platform/coreaudio/HardwareLayer.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/ThreadLauncher.h"

namespace pex::coreaudio {

namespace {

bool matches(const AudioObjectPropertyAddress& registered,
             const AudioObjectPropertyAddress& changed) {
    return (registered.mSelector == kSelectorWildcard ||
            registered.mSelector == changed.mSelector) &&
           (registered.mScope == scope::wildcard || registered.mScope == changed.mScope) &&
           (registered.mElement == kElementWildcard || registered.mElement == changed.mElement);
}

// The backend, the listener registrations and the notification thread that calls them.
class Layer {
  public:
    static Layer& shared() {
        // Never destroyed: listeners may be removed by objects that go while the process exits.
        static Layer* layer = new Layer;
        return *layer;
    }

    void install(std::shared_ptr<AudioHardwareBackend> backend) {
        std::shared_ptr<AudioHardwareBackend> old;
        {
            std::lock_guard lock(mutex_);
            old = std::exchange(backend_, backend);
        }
        if (old) old->detach();
        // Nothing reports any more: what the old backend reported is delivered, and the thread
        // ends before the backend goes (or, with none after it, before the process ends).
        endThread();
        if (backend) {
            backend->attach(
                [this](AudioObjectID object, std::vector<AudioObjectPropertyAddress> changed) {
                    report(object, std::move(changed));
                });
        }
    }

    std::shared_ptr<AudioHardwareBackend> backend() {
        std::lock_guard lock(mutex_);
        return backend_;
    }

    AudioStatus add(AudioObjectID object, const AudioObjectPropertyAddress& address,
                    PropertyListenerProc proc, void* clientData) {
        auto backend = this->backend();
        if (!backend) return status::notRunning;
        if (!proc) return status::illegalOperation;
        {
            std::lock_guard lock(mutex_);
            if (find(object, address, proc, clientData) != listeners_.end()) return status::ok;
        }
        if (const AudioStatus refused = backend->listenerAdded(object, address)) return refused;
        std::lock_guard lock(mutex_);
        if (find(object, address, proc, clientData) == listeners_.end()) {
            listeners_.push_back(std::make_shared<Registration>(
                Registration{object, address, proc, clientData, false}));
        }
        return status::ok;
    }

    AudioStatus remove(AudioObjectID object, const AudioObjectPropertyAddress& address,
                       PropertyListenerProc proc, void* clientData) {
        auto backend = this->backend();
        if (!backend) return status::notRunning;
        {
            std::lock_guard lock(mutex_);
            if (find(object, address, proc, clientData) == listeners_.end()) {
                return status::illegalOperation;
            }
        }
        // A refusal leaves the listener registered.
        if (const AudioStatus refused = backend->listenerRemoved(object, address)) return refused;
        std::unique_lock lock(mutex_);
        auto it = find(object, address, proc, clientData);
        if (it == listeners_.end()) return status::ok;
        const std::shared_ptr<Registration> removed = *it;
        listeners_.erase(it);
        // A call of it in progress on the notification thread finishes before we return,
        // unless we are that call.
        if (std::this_thread::get_id() != threadId_) {
            idle_.wait(lock, [&] { return !removed->calling; });
        }
        return status::ok;
    }

    void drain() {
        std::unique_lock lock(mutex_);
        if (std::this_thread::get_id() == threadId_) return;
        const std::uint64_t target = reported_;
        idle_.wait(lock, [&] { return delivered_ >= target; });
    }

    std::size_t count(AudioObjectID object) {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count_if(
            listeners_.begin(), listeners_.end(),
            [&](const auto& registration) { return registration->object == object; }));
    }

  private:
    struct Registration {
        AudioObjectID object;
        AudioObjectPropertyAddress address;
        PropertyListenerProc proc;
        void* clientData;
        bool calling;  // guarded by the layer's mutex
    };
    struct Change {
        AudioObjectID object;
        std::vector<AudioObjectPropertyAddress> addresses;
    };

    using Registrations = std::vector<std::shared_ptr<Registration>>;

    Registrations::iterator find(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 PropertyListenerProc proc, void* clientData) {
        return std::find_if(listeners_.begin(), listeners_.end(), [&](const auto& registration) {
            return registration->object == object && registration->address == address &&
                   registration->proc == proc && registration->clientData == clientData;
        });
    }

    void report(AudioObjectID object, std::vector<AudioObjectPropertyAddress> changed) {
        if (changed.empty()) return;
        std::lock_guard lock(mutex_);
        pending_.push_back(Change{object, std::move(changed)});
        ++reported_;
        startThreadLocked();
        wake_.notify_one();
    }

    // While a thread ends, the change waits for it: that thread delivers it, or the next one.
    void startThreadLocked() {
        if (thread_.joinable() || ending_) return;
        thread_ = launchThread([this] { run(); });
    }

    // Delivers what was reported, then ends the thread and joins it; a later report starts
    // another. From the thread itself (a listener replacing the backend) it keeps running.
    void endThread() {
        std::thread ending;
        {
            std::lock_guard lock(mutex_);
            if (!thread_.joinable() || std::this_thread::get_id() == threadId_) return;
            ending_ = true;
            ending = std::move(thread_);
        }
        wake_.notify_all();
        ending.join();
        std::lock_guard lock(mutex_);
        ending_ = false;
        if (!pending_.empty()) startThreadLocked();
    }

    void run() {
        std::unique_lock lock(mutex_);
        threadId_ = std::this_thread::get_id();
        for (;;) {
            wake_.wait(lock, [&] { return !pending_.empty() || ending_; });
            if (pending_.empty()) break;
            Change change = std::move(pending_.front());
            pending_.pop_front();
            deliver(lock, change);
            ++delivered_;
            idle_.notify_all();
        }
        threadId_ = std::thread::id();
    }

    // Calls each listener registered when the change is taken up, unless it is removed before
    // its turn comes. The lock is released around every call.
    void deliver(std::unique_lock<std::mutex>& lock, const Change& change) {
        const Registrations snapshot = listeners_;
        for (const auto& registration : snapshot) {
            if (registration->object != change.object) continue;
            std::vector<AudioObjectPropertyAddress> matching;
            for (const auto& address : change.addresses) {
                if (matches(registration->address, address)) matching.push_back(address);
            }
            if (matching.empty()) continue;
            const bool stillRegistered =
                std::find(listeners_.begin(), listeners_.end(), registration) != listeners_.end();
            if (!stillRegistered) continue;
            registration->calling = true;
            lock.unlock();
            registration->proc(change.object, static_cast<std::uint32_t>(matching.size()),
                               matching.data(), registration->clientData);
            lock.lock();
            registration->calling = false;
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::shared_ptr<AudioHardwareBackend> backend_;
    Registrations listeners_;
    std::deque<Change> pending_;
    std::uint64_t reported_ = 0;
    std::uint64_t delivered_ = 0;
    std::thread thread_;   // the notification thread, while one runs
    bool ending_ = false;  // it delivers what is pending, then ends
    std::thread::id threadId_;
};

}  // namespace

void installBackend(std::shared_ptr<AudioHardwareBackend> backend) {
    Layer::shared().install(std::move(backend));
}

std::shared_ptr<AudioHardwareBackend> installedBackend() {
    return Layer::shared().backend();
}

bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    auto backend = installedBackend();
    return backend && backend->hasProperty(object, address);
}

AudioStatus isPropertySettable(AudioObjectID object, const AudioObjectPropertyAddress& address,
                               bool& settable) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->isPropertySettable(object, address, settable);
}

AudioStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t& size) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->getPropertyDataSize(object, address, qualifierSize, qualifier, size);
}

AudioStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                            std::uint32_t qualifierSize, const void* qualifier, std::uint32_t& size,
                            void* data) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->getPropertyData(object, address, qualifierSize, qualifier, size, data);
}

AudioStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                            std::uint32_t qualifierSize, const void* qualifier, std::uint32_t size,
                            const void* data) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->setPropertyData(object, address, qualifierSize, qualifier, size, data);
}

AudioStatus addPropertyListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                PropertyListenerProc proc, void* clientData) {
    return Layer::shared().add(object, address, proc, clientData);
}

AudioStatus removePropertyListener(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   PropertyListenerProc proc, void* clientData) {
    return Layer::shared().remove(object, address, proc, clientData);
}

AudioStatus createAggregateDevice(const nlohmann::json& description, AudioObjectID& created) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->createAggregateDevice(description, created);
}

AudioStatus destroyAggregateDevice(AudioObjectID device) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->destroyAggregateDevice(device);
}

AudioStatus createLoopbackDevice(const std::string& name, AudioObjectID& created) {
    auto backend = installedBackend();
    if (!backend) return status::notRunning;
    return backend->createLoopbackDevice(name, created);
}

void drainNotifications() {
    Layer::shared().drain();
}

std::size_t listenerCount(AudioObjectID object) {
    return Layer::shared().count(object);
}

}  // namespace pex::coreaudio
