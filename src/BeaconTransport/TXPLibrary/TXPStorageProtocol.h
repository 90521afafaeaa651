#pragma once
// What the rest of the transport asks of an event storage. Every operation returns at once and
// completes on the storage's own queue.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPDate.h"
#include "BeaconTransport/TXPLibrary/TXPStorageEventSelector.h"
#include "BeaconTransport/TXPLibrary/TXPUploadBatch.h"
#include "platform/foundation/Error.h"

namespace pex {

class TXPStorageProtocol;

// Told of events the storage lost (the transport metrics count them).
class TXPStorageDelegate {
  public:
    virtual ~TXPStorageDelegate() = default;
    virtual void storageDidRemoveExpiredEvents(TXPStorageProtocol& storage,
                                               const TXPEventSet& events) = 0;
    virtual void storageDidDropEvent(TXPStorageProtocol& storage, const TXPEvent& event) = 0;
};

class TXPStorageProtocol {
  public:
    using StoreCompletion = std::function<void(bool written, ErrorRef error)>;
    using BatchCompletion =
        std::function<void(std::optional<std::int64_t> batchID, std::optional<TXPEventSet>)>;
    using BatchIDsCompletion = std::function<void(std::optional<std::set<std::int64_t>>)>;
    using LibraryFetchCompletion =
        std::function<void(std::optional<std::string> bytes, ErrorRef error)>;
    using LibraryNewValue = std::function<std::optional<std::string>()>;

    virtual ~TXPStorageProtocol() = default;

    virtual void storeEvent(TXPEvent event, StoreCompletion onComplete) = 0;
    virtual void hasEventsForTarget(std::int64_t target, std::function<void(bool)> onComplete) = 0;
    virtual void batchWithEventSelector(TXPStorageEventSelector selector, TXPDate batchExpiration,
                                        BatchCompletion onComplete) = 0;
    virtual void removeBatchWithID(std::int64_t batchID, bool deleteEvents,
                                   std::function<void()> onComplete) = 0;
    virtual void batchIDsForTarget(std::int64_t target, BatchIDsCompletion onComplete) = 0;
    // Removes every batch of the target (events deleted or given back), then completes.
    virtual void removeAllBatchesForTarget(std::int64_t target, bool deleteEvents,
                                           std::function<void()> onComplete) = 0;
    virtual void checkForExpirations() = 0;
    virtual void storeLibraryData(std::string bytes, std::string key,
                                  std::function<void(ErrorRef)> onComplete) = 0;
    virtual void libraryDataForKey(std::string key, LibraryFetchCompletion onFetchComplete,
                                   LibraryNewValue setNewValue) = 0;
    virtual void removeLibraryDataForKey(std::string key,
                                         std::function<void(ErrorRef)> onComplete) = 0;
    virtual void storageSizeWithCallback(std::function<void(std::uint64_t)> onComplete) = 0;
    virtual void setDelegate(std::weak_ptr<TXPStorageDelegate> delegate) = 0;
    virtual std::shared_ptr<TXPStorageDelegate> delegate() const = 0;
};

}  // namespace pex
