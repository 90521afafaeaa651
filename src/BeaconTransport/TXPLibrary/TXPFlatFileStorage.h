#pragma once
// Telemetry events on disk, one file per event, with everything a selection needs (target, id,
// tier, expiry, mapping id) in the file's path so selecting never opens a file:
//   <root>/TXPFlatFileStorage/gdt_event_data/<target>/<id>-<tier>-<expiry>-<mapping id>
//   <root>/TXPFlatFileStorage/gdt_batch_data/<target>-<batch id>-<expiry>/<event files>
//   <root>/TXPFlatFileStorage/gdt_library_data/<key>
// Batches move their event files into a batch folder; an upload deletes the batch or moves the
// files back. Everything under the root counts against one size limit. All file work runs on
// one serial queue, in the order asked.
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPDirectorySizeTracker.h"
#include "BeaconTransport/TXPLibrary/TXPLifecycleProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsMetadata.h"
#include "BeaconTransport/TXPLibrary/TXPStorageMetadata.h"
#include "BeaconTransport/TXPLibrary/TXPStorageProtocol.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/PropertyList.h"

namespace pex {

// Who uploads a target at once when an event of the immediate tier is stored.
class TXPForcedUploading {
  public:
    virtual ~TXPForcedUploading() = default;
    virtual void forceUploadForTarget(std::int64_t target) = 0;
};

class TXPFlatFileStorage : public TXPStorageProtocol,
                           public TXPLifecycleProtocol,
                           public std::enable_shared_from_this<TXPFlatFileStorage> {
  public:
    static constexpr std::uint64_t kMaxStorageSize = 20'000'000;
    static constexpr const char* kErrorDomain = "TXPFlatFileStorage";
    static constexpr const char* kInconsistencyErrorDomain = "NSInternalInconsistencyException";
    static constexpr const char* kBatchIDCounterKey = "TXPFlatFileStorageBatchIDCounter";

    // Keys of a parsed event file name and batch folder name.
    static constexpr const char* kEventComponentsEventIDKey = "TXPEventComponentsEventIDKey";
    static constexpr const char* kEventComponentsQoSTierKey = "TXPEventComponentsQoSTierKey";
    static constexpr const char* kEventComponentsExpirationKey = "TXPEventComponentsExpirationKey";
    static constexpr const char* kEventComponentsMappingIDKey = "TXPEventComponentsMappingIDKey";
    static constexpr const char* kBatchComponentsTargetKey = "TXPBatchComponentsTargetKey";
    static constexpr const char* kBatchComponentsBatchIDKey = "TXPBatchComponentsBatchIDKey";
    static constexpr const char* kBatchComponentsExpirationKey = "TXPBatchComponentsExpirationKey";

    // The one storage of the process, over the transport's storage root.
    static const std::shared_ptr<TXPFlatFileStorage>& sharedInstance();
    // A storage over `root` (tests use their own folders).
    static std::shared_ptr<TXPFlatFileStorage> make(std::filesystem::path root);
    // A storage whose root is asked for on its first file operation, so making one (at load
    // time) touches no disk.
    static std::shared_ptr<TXPFlatFileStorage> make(std::function<std::filesystem::path()> root);

    std::filesystem::path eventDataStoragePath() const;
    std::filesystem::path batchDataStoragePath() const;
    std::filesystem::path libraryDataStoragePath() const;
    std::filesystem::path pathForTarget(std::int64_t target, const std::string& eventID,
                                        std::int64_t qosTier, TXPDate expirationDate,
                                        const std::string& mappingID) const;
    std::filesystem::path batchPathForTarget(std::int64_t target, std::int64_t batchID,
                                             TXPDate expirationDate) const;

    // Name parsing, from the name alone. Values: event id and mapping id (still
    // percent-encoded) as texts, tier as an integer, expiry as a date.
    static std::optional<PropertyList::Dictionary> eventComponentsFromFilename(
        const std::string& fileName);
    static std::optional<PropertyList::Dictionary> batchComponentsFromFilename(
        const std::string& folderName);
    static std::string percentEncodedMappingID(const std::string& mappingID);
    static std::string percentDecodedMappingID(const std::string& encoded);

    // Who is asked for forced uploads; without one, the shared upload coordinator.
    void setUploadCoordinator(std::shared_ptr<TXPForcedUploading> coordinator);
    const DispatchQueue& storageQueue() const { return storageQueue_; }

    // TXPStorageProtocol
    void storeEvent(TXPEvent event, StoreCompletion onComplete) override;
    void hasEventsForTarget(std::int64_t target, std::function<void(bool)> onComplete) override;
    void batchWithEventSelector(TXPStorageEventSelector selector, TXPDate batchExpiration,
                                BatchCompletion onComplete) override;
    void removeBatchWithID(std::int64_t batchID, bool deleteEvents,
                           std::function<void()> onComplete) override;
    void batchIDsForTarget(std::int64_t target, BatchIDsCompletion onComplete) override;
    void removeAllBatchesForTarget(std::int64_t target, bool deleteEvents,
                                   std::function<void()> onComplete) override;
    void checkForExpirations() override;
    void storeLibraryData(std::string bytes, std::string key,
                          std::function<void(ErrorRef)> onComplete) override;
    void libraryDataForKey(std::string key, LibraryFetchCompletion onFetchComplete,
                           LibraryNewValue setNewValue) override;
    void removeLibraryDataForKey(std::string key,
                                 std::function<void(ErrorRef)> onComplete) override;
    void storageSizeWithCallback(std::function<void(std::uint64_t)> onComplete) override;
    void setDelegate(std::weak_ptr<TXPStorageDelegate> delegate) override;
    std::shared_ptr<TXPStorageDelegate> delegate() const override;

    // Reads the stored metrics window, lets `handler` make the next one and stores it when it
    // differs; the completion gets an archiving or writing error.
    using MetricsHandler = std::function<std::optional<TXPMetricsMetadata>(
        std::optional<TXPMetricsMetadata> stored, ErrorRef error)>;
    void fetchAndUpdateMetricsWithHandler(MetricsHandler handler,
                                          std::function<void(ErrorRef)> onComplete);
    void fetchStorageMetadata(std::function<void(TXPStorageMetadata)> onComplete);

    // TXPLifecycleProtocol: lets the work queued so far finish before the app is suspended.
    void appWillBackground(TXPApplication& application) override;

    // Only on storageQueue().
    void syncThreadUnsafeRemoveBatchWithID(std::int64_t batchID, bool deleteEvents);
    TXPDirectorySizeTracker& sizeTracker();

  private:
    explicit TXPFlatFileStorage(std::function<std::filesystem::path()> root);
    const std::filesystem::path& root() const;
    std::shared_ptr<TXPForcedUploading> uploadCoordinator() const;

    std::filesystem::path folder(const char* name) const;
    static std::string eventFileName(const std::string& eventID, std::int64_t qosTier,
                                     TXPDate expirationDate, const std::string& mappingID);
    std::optional<std::filesystem::path> libraryPathForKey(const std::string& key) const;
    // The next batch id through the counter file. An unusable counter (short, negative,
    // unreadable) is replaced by the id after every batch on disk.
    void nextBatchID(std::function<void(std::int64_t)> onComplete);
    // Storage queue only: one more than the largest batch id on disk, or 0.
    std::int64_t batchIDAfterExistingBatches();
    std::set<std::filesystem::path> pathsForTarget(const TXPStorageEventSelector& selector);
    std::optional<TXPEventSet> moveIntoBatch(const std::set<std::filesystem::path>& paths,
                                             std::int64_t target, std::int64_t batchID,
                                             TXPDate expiration);
    std::optional<std::string> readLibraryFile(const std::filesystem::path& file, ErrorRef& error);

    const std::function<std::filesystem::path()> rootProvider_;
    mutable std::once_flag rootOnce_;
    mutable std::filesystem::path root_;
    mutable std::filesystem::path eventDataFolder_;  // set with root_
    DispatchQueue storageQueue_;
    std::optional<TXPDirectorySizeTracker> sizeTracker_;  // storageQueue_ only, made on first use

    mutable std::mutex mutex_;
    std::weak_ptr<TXPStorageDelegate> delegate_;
    std::shared_ptr<TXPForcedUploading> uploadCoordinator_;
};

}  // namespace pex
