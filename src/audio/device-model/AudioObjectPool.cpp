#include "audio/device-model/AudioObjectPool.h"

#include <condition_variable>
#include <mutex>

#include "platform/foundation/Bundle.h"

namespace pex {

namespace {

std::string poolQueueLabel() {
    const std::string identifier = Bundle::main().bundleIdentifier();
    return (identifier.empty() ? std::string("AudioDeviceHub") : identifier) + ".audioObjectPool";
}

// Runs `work` as a barrier on `queue` and waits for it.
void syncBarrier(const DispatchQueue& queue, const std::function<void()>& work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    queue.asyncBarrier([&] {
        work();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
}

}  // namespace

AudioObjectPool& AudioObjectPool::shared() {
    // Never destroyed: pooled objects keep hardware listeners for the life of the process.
    static AudioObjectPool* pool = new AudioObjectPool;
    return *pool;
}

AudioObjectPool::AudioObjectPool() : queue_(DispatchQueue::concurrent(poolQueueLabel())) {}

std::shared_ptr<AudioObject> AudioObjectPool::getObject(AudioObject::AudioObjectID objectID) {
    std::shared_ptr<AudioObject> found;
    queue_.sync([&] {
        auto it = pool_.find(objectID);
        if (it != pool_.end()) found = it->second;
    });
    return found;
}

void AudioObjectPool::set(std::shared_ptr<AudioObject> object,
                          AudioObject::AudioObjectID objectID) {
    syncBarrier(queue_, [&] { pool_[objectID] = std::move(object); });
}

std::shared_ptr<AudioObject> AudioObjectPool::setIfAbsent(std::shared_ptr<AudioObject> object,
                                                          AudioObject::AudioObjectID objectID) {
    std::shared_ptr<AudioObject> pooled;
    syncBarrier(queue_, [&] { pooled = pool_.try_emplace(objectID, object).first->second; });
    return pooled;
}

void AudioObjectPool::remove(AudioObject::AudioObjectID objectID) {
    queue_.asyncBarrier([this, objectID] { pool_.erase(objectID); });
}

}  // namespace pex
