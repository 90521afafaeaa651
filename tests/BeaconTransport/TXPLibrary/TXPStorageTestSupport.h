#pragma once
// Synchronous helpers over the storage's asynchronous operations, and a delegate that records.
#include <future>
#include <mutex>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"

namespace pex::test {

struct StoreResult {
    bool written = false;
    ErrorRef error;
};

inline StoreResult store(TXPFlatFileStorage& storage, TXPEvent event) {
    std::promise<StoreResult> done;
    storage.storeEvent(std::move(event), [&](bool written, ErrorRef error) {
        done.set_value({written, error});
    });
    return done.get_future().get();
}

inline std::optional<TXPUploadBatch> batch(TXPFlatFileStorage& storage,
                                           const TXPStorageEventSelector& selector,
                                           TXPDate expiration) {
    std::promise<std::optional<TXPUploadBatch>> done;
    storage.batchWithEventSelector(
        selector, expiration,
        [&](std::optional<std::int64_t> id, std::optional<TXPEventSet> events) {
            if (id && events)
                done.set_value(TXPUploadBatch{*id, std::move(*events)});
            else
                done.set_value(std::nullopt);
        });
    return done.get_future().get();
}

inline void removeBatch(TXPFlatFileStorage& storage, std::int64_t batchID, bool deleteEvents) {
    std::promise<void> done;
    storage.removeBatchWithID(batchID, deleteEvents, [&] { done.set_value(); });
    done.get_future().get();
}

inline void drain(TXPFlatFileStorage& storage) {
    storage.storageQueue().sync([] {});
}

class RecordingDelegate : public TXPStorageDelegate {
  public:
    void storageDidRemoveExpiredEvents(TXPStorageProtocol&, const TXPEventSet& events) override {
        std::lock_guard lock(mutex);
        expired.push_back(events);
    }
    void storageDidDropEvent(TXPStorageProtocol&, const TXPEvent& event) override {
        std::lock_guard lock(mutex);
        dropped.push_back(event);
    }
    std::mutex mutex;
    std::vector<TXPEventSet> expired;
    std::vector<TXPEvent> dropped;
};

}  // namespace pex::test
