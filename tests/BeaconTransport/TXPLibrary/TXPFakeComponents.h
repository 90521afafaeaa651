#pragma once
// Recording stand-ins for the transport's components.
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPApplication.h"
#include "BeaconTransport/TXPLibrary/TXPLifecycleProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPStorageProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPUploader.h"

namespace pex::test {

class RecordingUploader : public TXPUploader {
  public:
    void uploadTarget(std::int32_t target, std::int64_t conditions) override {
        std::lock_guard lock(mutex_);
        calls_.emplace_back(target, conditions);
    }
    std::vector<std::pair<std::int32_t, std::int64_t>> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::int32_t, std::int64_t>> calls_;
};

// Stores nothing: records what it is asked and answers at once.
class RecordingStorage : public TXPStorageProtocol, public TXPLifecycleProtocol {
  public:
    void storeEvent(TXPEvent event, StoreCompletion onComplete) override {
        {
            std::lock_guard lock(mutex_);
            stored_.push_back(std::move(event));
        }
        if (onComplete) onComplete(true, nullptr);
    }
    void hasEventsForTarget(std::int64_t, std::function<void(bool)>) override {}
    void batchWithEventSelector(TXPStorageEventSelector, TXPDate, BatchCompletion) override {}
    void removeBatchWithID(std::int64_t, bool, std::function<void()>) override {}
    void batchIDsForTarget(std::int64_t, BatchIDsCompletion) override {}
    void removeAllBatchesForTarget(std::int64_t, bool, std::function<void()>) override {}
    void checkForExpirations() override { ++expirySweeps; }
    void storeLibraryData(std::string, std::string, std::function<void(ErrorRef)>) override {}
    void libraryDataForKey(std::string, LibraryFetchCompletion, LibraryNewValue) override {}
    void removeLibraryDataForKey(std::string, std::function<void(ErrorRef)>) override {}
    void storageSizeWithCallback(std::function<void(std::uint64_t)>) override {}
    void setDelegate(std::weak_ptr<TXPStorageDelegate>) override {}
    std::shared_ptr<TXPStorageDelegate> delegate() const override { return nullptr; }
    void appWillTerminate(TXPApplication&) override { ++terminations; }
    void appWillBackground(TXPApplication&) override { ++backgroundings; }

    std::vector<TXPEvent> stored() const {
        std::lock_guard lock(mutex_);
        return stored_;
    }
    std::atomic<int> expirySweeps{0};
    std::atomic<int> terminations{0};
    std::atomic<int> backgroundings{0};

  private:
    mutable std::mutex mutex_;
    std::vector<TXPEvent> stored_;
};

class FakeApplication : public TXPApplicationProtocol {
  public:
    TXPBackgroundIdentifier beginBackgroundTask(const std::string&,
                                                std::function<void()>) override {
        return ++begun;
    }
    void endBackgroundTask(TXPBackgroundIdentifier identifier) override {
        if (identifier != TXPBackgroundIdentifierInvalid) ++ended;
    }
    bool isRunningInBackground() const override { return background; }

    std::atomic<TXPBackgroundIdentifier> begun{0};
    std::atomic<int> ended{0};
    std::atomic<bool> background{false};
};

}  // namespace pex::test
