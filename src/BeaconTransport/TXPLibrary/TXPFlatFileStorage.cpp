#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPApplication.h"
#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/TXPLibrary/TXPPlatform.h"
#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"
#include "platform/foundation/Hex.h"

namespace pex {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

template <typename Number>
std::optional<Number> parseNumber(const std::string& text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::uint64_t wholeSecondsSince1970(TXPDate date) {
    double seconds = TXPSecondsSince1970(date);
    return seconds <= 0 ? 0 : static_cast<std::uint64_t>(seconds);
}

ErrorRef inconsistencyError() {
    return Error::make(TXPFlatFileStorage::kInconsistencyErrorDomain, -1);
}

bool isHidden(const fs::path& path) {
    return path.filename().string().starts_with(".");
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

const std::shared_ptr<TXPFlatFileStorage>& TXPFlatFileStorage::sharedInstance() {
    static auto* instance = new std::shared_ptr<TXPFlatFileStorage>(
        make(std::function<fs::path()>(TXPStorageRootDirectory)));
    return *instance;
}

std::shared_ptr<TXPFlatFileStorage> TXPFlatFileStorage::make(fs::path root) {
    return make(std::function<fs::path()>([root] { return root; }));
}

std::shared_ptr<TXPFlatFileStorage> TXPFlatFileStorage::make(std::function<fs::path()> root) {
    return std::shared_ptr<TXPFlatFileStorage>(new TXPFlatFileStorage(std::move(root)));
}

TXPFlatFileStorage::TXPFlatFileStorage(std::function<fs::path()> root)
    : rootProvider_(std::move(root)),
      storageQueue_(DispatchQueue::serial("com.beacon.TXPFlatFileStorage")) {}

const fs::path& TXPFlatFileStorage::root() const {
    std::call_once(rootOnce_, [this] {
        root_ = rootProvider_();
        eventDataFolder_ = root_ / "TXPFlatFileStorage" / "gdt_event_data";
    });
    return root_;
}

TXPDirectorySizeTracker& TXPFlatFileStorage::sizeTracker() {
    if (!sizeTracker_) sizeTracker_.emplace(root());
    return *sizeTracker_;
}

std::shared_ptr<TXPForcedUploading> TXPFlatFileStorage::uploadCoordinator() const {
    {
        std::lock_guard lock(mutex_);
        if (uploadCoordinator_) return uploadCoordinator_;
    }
    return TXPUploadCoordinator::sharedInstance();
}

fs::path TXPFlatFileStorage::folder(const char* name) const {
    fs::path path = root() / "TXPFlatFileStorage" / name;
    std::error_code error;
    if (!fs::is_directory(path, error)) fs::create_directories(path, error);
    return path;
}

fs::path TXPFlatFileStorage::eventDataStoragePath() const {
    return folder("gdt_event_data");
}

fs::path TXPFlatFileStorage::batchDataStoragePath() const {
    fs::path path = root() / "TXPFlatFileStorage" / "gdt_batch_data";
    std::error_code error;
    if (!fs::is_directory(path, error) && !fs::create_directories(path, error) && error)
        TXPAssertionFailed(__FILE__, __LINE__,
                           "Creating the batch data path failed: " + error.message());
    return path;
}

fs::path TXPFlatFileStorage::libraryDataStoragePath() const {
    fs::path path = root() / "TXPFlatFileStorage" / "gdt_library_data";
    std::error_code error;
    if (!fs::is_directory(path, error) && !fs::create_directories(path, error) && error)
        TXPAssertionFailed(__FILE__, __LINE__,
                           "Creating the library data path failed: " + error.message());
    return path;
}

std::string TXPFlatFileStorage::percentEncodedMappingID(const std::string& mappingID) {
    std::string encoded;
    for (unsigned char c : mappingID) {
        if (std::isalnum(c) && c < 0x80) {
            encoded += static_cast<char>(c);
        } else if (c == '-') {
            encoded += '-';
        } else {
            encoded += '%';
            encoded += hexDigit(c >> 4, HexCase::Upper);
            encoded += hexDigit(c, HexCase::Upper);
        }
    }
    return encoded;
}

std::string TXPFlatFileStorage::percentDecodedMappingID(const std::string& encoded) {
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        unsigned byte = 0;
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            const char* first = encoded.data() + i + 1;
            auto [end, error] = std::from_chars(first, first + 2, byte, 16);
            if (error == std::errc() && end == first + 2) {
                decoded += static_cast<char>(byte);
                i += 2;
                continue;
            }
        }
        decoded += encoded[i];  // a stray "%" stays as it is
    }
    return decoded;
}

std::string TXPFlatFileStorage::eventFileName(const std::string& eventID, std::int64_t qosTier,
                                              TXPDate expirationDate,
                                              const std::string& mappingID) {
    return eventID + "-" + std::to_string(qosTier) + "-" +
           std::to_string(wholeSecondsSince1970(expirationDate)) + "-" +
           percentEncodedMappingID(mappingID);
}

fs::path TXPFlatFileStorage::pathForTarget(std::int64_t target, const std::string& eventID,
                                           std::int64_t qosTier, TXPDate expirationDate,
                                           const std::string& mappingID) const {
    return eventDataStoragePath() / std::to_string(target) /
           eventFileName(eventID, qosTier, expirationDate, mappingID);
}

fs::path TXPFlatFileStorage::batchPathForTarget(std::int64_t target, std::int64_t batchID,
                                                TXPDate expirationDate) const {
    return batchDataStoragePath() / (std::to_string(target) + "-" + std::to_string(batchID) + "-" +
                                     std::to_string(wholeSecondsSince1970(expirationDate)));
}

std::optional<PropertyList::Dictionary> TXPFlatFileStorage::eventComponentsFromFilename(
    const std::string& fileName) {
    std::vector<std::string> parts = split(fileName, '-');
    if (parts.size() < 4) {
        TXPLogDebug(0, "The event filename could not be split: " + fileName);
        return std::nullopt;
    }
    // A mapping id may hold "-" itself: everything from the fourth part on belongs to it.
    std::string mappingID = parts[3];
    for (std::size_t i = 4; i < parts.size(); ++i) mappingID += "-" + parts[i];
    std::optional<std::int64_t> tier = parseNumber<std::int64_t>(parts[1]);
    std::optional<std::int64_t> expiry = parseNumber<std::int64_t>(parts[2]);
    if (parts[0].empty() || !tier || !expiry || mappingID.empty()) {
        TXPLogDebug(0, "There was an error parsing the event filename components: " + fileName);
        return std::nullopt;
    }
    return PropertyList::Dictionary{
        {kEventComponentsEventIDKey, PropertyList(parts[0])},
        {kEventComponentsQoSTierKey, PropertyList(*tier)},
        {kEventComponentsExpirationKey,
         PropertyList(TXPPropertyListDate(TXPDateFromSecondsSince1970(double(*expiry))))},
        {kEventComponentsMappingIDKey, PropertyList(mappingID)}};
}

std::optional<PropertyList::Dictionary> TXPFlatFileStorage::batchComponentsFromFilename(
    const std::string& folderName) {
    std::vector<std::string> parts = split(folderName, '-');
    if (parts.size() != 3) {
        TXPLogDebug(0, "The batch filename could not be split: " + folderName);
        return std::nullopt;
    }
    std::optional<std::int64_t> target = parseNumber<std::int64_t>(parts[0]);
    std::optional<std::int64_t> batchID = parseNumber<std::int64_t>(parts[1]);
    std::optional<double> expiry = parseNumber<double>(parts[2]);
    if (!target || !batchID || !expiry) {
        TXPLogDebug(0, "There was an error parsing the batch filename components: " + folderName);
        return std::nullopt;
    }
    return PropertyList::Dictionary{
        {kBatchComponentsTargetKey, PropertyList(*target)},
        {kBatchComponentsBatchIDKey, PropertyList(*batchID)},
        {kBatchComponentsExpirationKey,
         PropertyList(TXPPropertyListDate(TXPDateFromSecondsSince1970(*expiry)))}};
}

void TXPFlatFileStorage::setUploadCoordinator(std::shared_ptr<TXPForcedUploading> coordinator) {
    std::lock_guard lock(mutex_);
    uploadCoordinator_ = std::move(coordinator);
}

void TXPFlatFileStorage::setDelegate(std::weak_ptr<TXPStorageDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<TXPStorageDelegate> TXPFlatFileStorage::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

// MARK: - Events

void TXPFlatFileStorage::storeEvent(TXPEvent event, StoreCompletion onComplete) {
    TXPLogDebug(0, "Saving event: " + event.description());
    if (!event.serializedDataObjectBytes()) {
        TXPLogDebug(0, "The event was nil, so it was not saved.");
        if (onComplete) onComplete(false, inconsistencyError());
        return;
    }
    if (!onComplete) {
        onComplete = [id = event.eventID()](bool written, ErrorRef error) {
            TXPLogDebug(0, "event " + id + " stored. success:" + (written ? "YES" : "NO") +
                               " error:" + (error ? error->description() : "(null)"));
        };
    }
    TXPApplication& application = TXPApplication::sharedApplication();
    TXPBackgroundIdentifier task = application.beginBackgroundTask("TXStorage", nullptr);
    storageQueue_.async([self = shared_from_this(), event = std::move(event),
                         onComplete = std::move(onComplete), task, &application] {
        // Not pathForTarget: asking the file system whether the folders exist, for every
        // event, cost more than writing the event. The write makes them when they are missing.
        self->root();
        const fs::path file = self->eventDataFolder_ / std::to_string(event.target()) /
                              eventFileName(event.eventID(), event.qosTier(),
                                            event.expirationDate(), event.mappingID());
        std::string archive = TXPEncodeArchive(event, std::nullopt);
        if (self->sizeTracker().directoryContentSize() + archive.size() <= kMaxStorageSize) {
            ErrorRef error;
            if (!TXPWriteDataToFile(archive, file, &error)) {
                TXPLogDebug(0, "Attempt to write archive failed: path:" + file.string() +
                                   " error:" + (error ? error->description() : ""));
                onComplete(false, error);
            } else {
                TXPLogDebug(0, "Writing archive succeeded: " + file.string());
                onComplete(true, nullptr);
                self->sizeTracker().fileWasAddedAtPath(file, archive.size());
                if (event.qosTier() == TXPEventTierImmediate)
                    self->uploadCoordinator()->forceUploadForTarget(event.target());
            }
            application.endBackgroundTask(task);
            return;
        }
        ErrorRef error = Error::make(
            kErrorDomain, 0, {{Error::kFailureReasonKey, "Storage size limit has been reached."}});
        if (std::shared_ptr<TXPStorageDelegate> delegate = self->delegate()) {
            TXPLogDebug(0, "Delegate notified that event with mapping ID " + event.mappingID() +
                               " was dropped.");
            delegate->storageDidDropEvent(*self, event);
        }
        onComplete(false, error);
        application.endBackgroundTask(task);
    });
}

std::set<fs::path> TXPFlatFileStorage::pathsForTarget(const TXPStorageEventSelector& selector) {
    std::set<fs::path> paths;
    fs::path targetFolder = eventDataStoragePath() / std::to_string(selector.selectedTarget());
    std::error_code error;
    if (!fs::is_directory(targetFolder, error)) fs::create_directories(targetFolder, error);
    const auto& eventIDs = selector.selectedEventIDs();
    const auto& tiers = selector.selectedQosTiers();
    const auto& mappingIDs = selector.selectedMappingIDs();
    bool selectAll = (!eventIDs || eventIDs->empty()) && (!tiers || tiers->empty()) &&
                     (!mappingIDs || mappingIDs->empty());
    fs::directory_iterator entries(targetFolder, error), end;
    if (error) {
        TXPLogDebug(
            0, "There was an error reading the contents of the target path: " + error.message());
        return paths;
    }
    for (; !error && entries != end; entries.increment(error)) {
        const fs::path& path = entries->path();
        if (isHidden(path)) continue;
        if (selectAll) {
            paths.insert(path);
            continue;
        }
        auto components = eventComponentsFromFilename(path.filename().string());
        if (!components) {
            TXPLogDebug(0, "There was an error reading the filename components: " + path.string());
            continue;
        }
        const auto& id = *components->at(kEventComponentsEventIDKey).get<std::string>();
        std::int64_t tier = *components->at(kEventComponentsQoSTierKey).get<std::int64_t>();
        std::string mappingID = percentDecodedMappingID(
            *components->at(kEventComponentsMappingIDKey).get<std::string>());
        if (eventIDs && !eventIDs->empty() && !eventIDs->contains(id)) continue;
        if (tiers && !tiers->empty() && !tiers->contains(tier)) continue;
        if (mappingIDs && !mappingIDs->empty() && !mappingIDs->contains(mappingID)) continue;
        paths.insert(path);
    }
    return paths;
}

void TXPFlatFileStorage::hasEventsForTarget(std::int64_t target,
                                            std::function<void(bool)> onComplete) {
    storageQueue_.async([self = shared_from_this(), target, onComplete = std::move(onComplete)] {
        fs::path targetFolder = self->eventDataStoragePath() / std::to_string(target);
        std::error_code error;
        if (!fs::is_directory(targetFolder, error)) fs::create_directories(targetFolder, error);
        fs::recursive_directory_iterator entries(targetFolder, error);
        bool hasEvents = !error && entries != fs::recursive_directory_iterator();
        if (onComplete) onComplete(hasEvents);
    });
}

// MARK: - Batches

std::int64_t TXPFlatFileStorage::batchIDAfterExistingBatches() {
    std::int64_t next = 0;
    std::error_code error;
    fs::directory_iterator entries(batchDataStoragePath(), error), end;
    for (; !error && entries != end; entries.increment(error)) {
        auto components = batchComponentsFromFilename(entries->path().filename().string());
        if (!components) continue;
        next = std::max(next, *components->at(kBatchComponentsBatchIDKey).get<std::int64_t>() + 1);
    }
    // Past the counter's range the ids start again; batches that old are long gone.
    return next > std::numeric_limits<std::int32_t>::max() ? 0 : next;
}

void TXPFlatFileStorage::nextBatchID(std::function<void(std::int64_t)> onComplete) {
    auto batchID = std::make_shared<std::optional<std::int64_t>>();
    libraryDataForKey(
        kBatchIDCounterKey,
        [self = shared_from_this(), batchID, onComplete](std::optional<std::string> bytes,
                                                         ErrorRef error) {
            if (!bytes && error && error->code() == ENOENT) {
                *batchID = 0;  // no counter yet: the first batch
            } else if (bytes && bytes->size() >= sizeof(std::int32_t)) {
                std::int32_t stored = 0;
                std::memcpy(&stored, bytes->data(), sizeof stored);
                if (stored >= 0) *batchID = stored;
            }
            if (!*batchID) {
                // A counter that cannot be used would stop every upload for good while events
                // pile up to the size limit. The next id after every batch still on disk can
                // never name an existing batch, so it takes the counter's place.
                *batchID = self->batchIDAfterExistingBatches();
                TXPConsoleLog(TXPMessageCodeUploadFailure, TXPLogLevelError,
                              "The batch id counter was unusable (" +
                                  (error ? error->description()
                                         : std::to_string(bytes ? bytes->size() : 0) + " bytes") +
                                  "); batches continue with id " + std::to_string(**batchID) + ".");
                // A folder in the counter's place would refuse the repaired counter as well.
                if (std::optional<fs::path> file = self->libraryPathForKey(kBatchIDCounterKey)) {
                    std::error_code removeError;
                    if (fs::is_directory(*file, removeError)) fs::remove_all(*file, removeError);
                }
            }
            onComplete(**batchID);
        },
        [batchID]() -> std::optional<std::string> {
            if (!*batchID) return std::nullopt;
            const std::int32_t next = **batchID >= std::numeric_limits<std::int32_t>::max()
                                          ? 0
                                          : static_cast<std::int32_t>(**batchID + 1);
            return std::string(reinterpret_cast<const char*>(&next), sizeof next);
        });
}

std::optional<TXPEventSet> TXPFlatFileStorage::moveIntoBatch(const std::set<fs::path>& paths,
                                                             std::int64_t target,
                                                             std::int64_t batchID,
                                                             TXPDate expiration) {
    TXPEventSet events;
    for (const fs::path& path : paths) {
        ErrorRef error;
        std::optional<TXPEvent> event = TXPDecodeArchiveAtPath<TXPEvent>(path, &error);
        std::error_code fileError;
        if (!event) {
            TXPLogDebug(0, "Error deserializing event: " + (error ? error->description() : ""));
            fs::remove(path, fileError);
            continue;
        }
        fs::path batchFolder = batchPathForTarget(target, batchID, expiration);
        fs::create_directories(batchFolder, fileError);
        fs::rename(path, batchFolder / path.filename(), fileError);
        if (fileError) {
            // The file stays in storage, so the event is not part of this batch: deleting the
            // batch after the upload must not lose it, nor may it be uploaded twice.
            TXPLogDebug(0, "An event file wasn't moveable into the batch directory: " +
                               fileError.message());
            continue;
        }
        TXPEventSetAdd(events, std::move(*event));
    }
    if (events.empty()) return std::nullopt;
    return events;
}

void TXPFlatFileStorage::batchWithEventSelector(TXPStorageEventSelector selector,
                                                TXPDate batchExpiration,
                                                BatchCompletion onComplete) {
    auto self = shared_from_this();
    nextBatchID([self, selector = std::move(selector), batchExpiration,
                 onComplete = std::move(onComplete)](std::int64_t batchID) {
        self->storageQueue_.async([self, selector, batchExpiration, onComplete, batchID] {
            std::set<fs::path> paths = self->pathsForTarget(selector);
            self->storageQueue_.async([self, paths = std::move(paths), selector, batchExpiration,
                                       onComplete, batchID] {
                std::optional<TXPEventSet> events =
                    self->moveIntoBatch(paths, selector.selectedTarget(), batchID, batchExpiration);
                if (!onComplete) return;
                if (events)
                    onComplete(batchID, std::move(events));
                else
                    onComplete(std::nullopt, std::nullopt);
            });
        });
    });
}

namespace {

// Moves every entry of `source` to the same name in `destination`; false with the errors
// collected when any move fails.
bool moveContentsOfDirectory(const fs::path& source, const fs::path& destination,
                             std::string& problems) {
    std::error_code error;
    fs::directory_iterator entries(source, error), end;
    if (error) {
        problems = error.message();
        return false;
    }
    fs::create_directories(destination, error);
    bool moved = true;
    for (; !error && entries != end; entries.increment(error)) {
        std::error_code moveError;
        fs::rename(entries->path(), destination / entries->path().filename(), moveError);
        if (moveError) {
            moved = false;
            problems += entries->path().string() + ": " + moveError.message() + "; ";
        }
    }
    return moved && !error;
}

}  // namespace

void TXPFlatFileStorage::syncThreadUnsafeRemoveBatchWithID(std::int64_t batchID,
                                                           bool deleteEvents) {
    std::error_code error;
    std::vector<fs::path> batchFolders;
    fs::directory_iterator entries(batchDataStoragePath(), error), end;
    if (error) {
        TXPLogDebug(0, "Failed to find event file paths for batchID: " + std::to_string(batchID) +
                           ", error: " + error.message());
        return;
    }
    for (; !error && entries != end; entries.increment(error)) {
        auto components = batchComponentsFromFilename(entries->path().filename().string());
        if (components &&
            *components->at(kBatchComponentsBatchIDKey).get<std::int64_t>() == batchID)
            batchFolders.push_back(entries->path());
    }
    for (const fs::path& batchFolder : batchFolders) {
        if (!deleteEvents) {
            auto components = batchComponentsFromFilename(batchFolder.filename().string());
            std::string problems = "no target in the batch name";
            if (components) {
                std::int64_t target =
                    *components->at(kBatchComponentsTargetKey).get<std::int64_t>();
                fs::path destination = eventDataStoragePath() / std::to_string(target);
                if (moveContentsOfDirectory(batchFolder, destination, problems)) {
                    TXPLogDebug(0, "Batched events at path: " + batchFolder.string() +
                                       " moved back to the storage: " + destination.string());
                    problems.clear();
                }
            }
            if (!problems.empty())
                TXPLogDebug(0, "Error encountered whilst moving events back: " + problems);
        }
        std::error_code removeError;
        fs::remove_all(batchFolder, removeError);
        TXPLogDebug(0,
                    (removeError ? "Failed to remove batch at path: " : "Batch removed at path: ") +
                        batchFolder.string());
    }
    sizeTracker().resetCachedSize();
}

void TXPFlatFileStorage::removeBatchWithID(std::int64_t batchID, bool deleteEvents,
                                           std::function<void()> onComplete) {
    storageQueue_.async(
        [self = shared_from_this(), batchID, deleteEvents, onComplete = std::move(onComplete)] {
            self->syncThreadUnsafeRemoveBatchWithID(batchID, deleteEvents);
            if (onComplete) onComplete();
        });
}

void TXPFlatFileStorage::batchIDsForTarget(std::int64_t target, BatchIDsCompletion onComplete) {
    storageQueue_.async([self = shared_from_this(), target, onComplete = std::move(onComplete)] {
        std::error_code error;
        fs::directory_iterator entries(self->batchDataStoragePath(), error), end;
        if (error || entries == end) {
            if (onComplete) onComplete(std::nullopt);
            return;
        }
        std::set<std::int64_t> batchIDs;
        for (; !error && entries != end; entries.increment(error)) {
            auto components = batchComponentsFromFilename(entries->path().filename().string());
            if (components &&
                *components->at(kBatchComponentsTargetKey).get<std::int64_t>() == target)
                batchIDs.insert(*components->at(kBatchComponentsBatchIDKey).get<std::int64_t>());
        }
        if (onComplete) onComplete(std::move(batchIDs));
    });
}

void TXPFlatFileStorage::checkForExpirations() {
    storageQueue_.async([self = shared_from_this()] {
        TXPLogDebug(0, "Checking for expired events and batches");
        double now = TXPSecondsSince1970(TXPDateNow());
        std::error_code error;

        std::set<std::int64_t> expiredBatches;
        fs::directory_iterator batches(self->batchDataStoragePath(), error), end;
        for (; !error && batches != end; batches.increment(error)) {
            auto components = batchComponentsFromFilename(batches->path().filename().string());
            if (!components) continue;
            auto expiry = *components->at(kBatchComponentsExpirationKey).get<PropertyList::Date>();
            if (TXPSecondsSince1970(TXPDateFromPropertyList(expiry)) < now)
                expiredBatches.insert(
                    *components->at(kBatchComponentsBatchIDKey).get<std::int64_t>());
        }
        // An upload that never finished gives its events back.
        for (std::int64_t batchID : expiredBatches)
            self->syncThreadUnsafeRemoveBatchWithID(batchID, false);

        TXPEventSet expiredEvents;
        std::vector<fs::path> expiredFiles;
        error.clear();
        fs::recursive_directory_iterator files(self->eventDataStoragePath(), error), filesEnd;
        for (; !error && files != filesEnd; files.increment(error)) {
            std::error_code typeError;
            if (!files->is_regular_file(typeError)) continue;
            auto components = eventComponentsFromFilename(files->path().filename().string());
            if (!components) continue;
            auto expiry = *components->at(kEventComponentsExpirationKey).get<PropertyList::Date>();
            if (TXPSecondsSince1970(TXPDateFromPropertyList(expiry)) < now)
                expiredFiles.push_back(files->path());
        }
        for (const fs::path& file : expiredFiles) {
            ErrorRef decodeError;
            std::optional<TXPEvent> event = TXPDecodeArchiveAtPath<TXPEvent>(file, &decodeError);
            if (!event)
                TXPLogDebug(0, "Error deserializing event while checking for expired events: " +
                                   (decodeError ? decodeError->description() : ""));
            std::error_code removeError;
            fs::remove(file, removeError);
            if (removeError) {
                TXPLogDebug(
                    0, "There was an error deleting an expired item: " + removeError.message());
                continue;
            }
            TXPLogDebug(0, "Item deleted because it expired: " + file.string());
            if (event) TXPEventSetAdd(expiredEvents, std::move(*event));
        }
        std::shared_ptr<TXPStorageDelegate> delegate = self->delegate();
        if (delegate && !expiredEvents.empty()) {
            TXPLogDebug(0, "Delegate notified that " + std::to_string(expiredEvents.size()) +
                               " events were dropped.");
            delegate->storageDidRemoveExpiredEvents(*self, expiredEvents);
        }
        self->sizeTracker().resetCachedSize();
    });
}

// MARK: - Library data

std::optional<fs::path> TXPFlatFileStorage::libraryPathForKey(const std::string& key) const {
    if (!isPlainName(key)) return std::nullopt;
    return libraryDataStoragePath() / key;
}

std::optional<std::string> TXPFlatFileStorage::readLibraryFile(const fs::path& file,
                                                               ErrorRef& error) {
    std::error_code code;
    std::optional<std::string> bytes = AtomicFile::read(file, code);
    if (!bytes)
        error =
            Error::make(TXPErrorDomain, code.value(), {{Error::kFailureReasonKey, code.message()}});
    return bytes;
}

void TXPFlatFileStorage::storeLibraryData(std::string bytes, std::string key,
                                          std::function<void(ErrorRef)> onComplete) {
    std::optional<fs::path> file = libraryPathForKey(key);
    if (bytes.empty() || !file) {
        if (onComplete) onComplete(inconsistencyError());
        return;
    }
    storageQueue_.async([self = shared_from_this(), bytes = std::move(bytes), file = *file,
                         onComplete = std::move(onComplete)] {
        std::uint64_t oldSize = 0;
        std::error_code existsError;
        bool replacing = fs::exists(file, existsError);
        if (replacing) oldSize = TXPDirectorySizeTracker::fileSizeAtPath(file);
        ErrorRef error;
        if (TXPWriteDataToFile(bytes, file, &error)) {
            // A replaced file no longer takes its old room.
            if (replacing) self->sizeTracker().fileWasRemovedAtPath(file, oldSize);
            self->sizeTracker().fileWasAddedAtPath(file, bytes.size());
        }
        if (onComplete) onComplete(error);
    });
}

void TXPFlatFileStorage::libraryDataForKey(std::string key, LibraryFetchCompletion onFetchComplete,
                                           LibraryNewValue setNewValue) {
    storageQueue_.async([self = shared_from_this(), key = std::move(key),
                         onFetchComplete = std::move(onFetchComplete),
                         setNewValue = std::move(setNewValue)] {
        std::optional<fs::path> file = self->libraryPathForKey(key);
        ErrorRef error;
        std::optional<std::string> bytes;
        if (file)
            bytes = self->readLibraryFile(*file, error);
        else
            error = inconsistencyError();
        std::uint64_t oldSize = bytes ? bytes->size() : 0;
        if (onFetchComplete) onFetchComplete(bytes, error);
        if (!setNewValue || !file) return;
        std::optional<std::string> newValue = setNewValue();
        if (!newValue || newValue->empty()) return;
        ErrorRef writeError;
        if (TXPWriteDataToFile(*newValue, *file, &writeError)) {
            self->sizeTracker().fileWasRemovedAtPath(*file, oldSize);
            self->sizeTracker().fileWasAddedAtPath(*file, newValue->size());
        } else {
            TXPLogDebug(0, "Error writing new value in libraryDataForKey: " +
                               (writeError ? writeError->description() : ""));
        }
    });
}

void TXPFlatFileStorage::removeLibraryDataForKey(std::string key,
                                                 std::function<void(ErrorRef)> onComplete) {
    storageQueue_.async(
        [self = shared_from_this(), key = std::move(key), onComplete = std::move(onComplete)] {
            std::optional<fs::path> file = self->libraryPathForKey(key);
            std::error_code error;
            if (!file || !fs::exists(*file, error)) {
                // Nothing to remove is not a failure: the caller still hears back.
                if (onComplete) onComplete(nullptr);
                return;
            }
            std::uint64_t size = TXPDirectorySizeTracker::fileSizeAtPath(*file);
            fs::remove(*file, error);
            if (!error) self->sizeTracker().fileWasRemovedAtPath(*file, size);
            if (onComplete)
                onComplete(error ? Error::make(TXPErrorDomain, error.value(),
                                               {{Error::kFailureReasonKey, error.message()}})
                                 : nullptr);
        });
}

void TXPFlatFileStorage::storageSizeWithCallback(std::function<void(std::uint64_t)> onComplete) {
    if (!onComplete) return;
    storageQueue_.async([self = shared_from_this(), onComplete = std::move(onComplete)] {
        onComplete(self->sizeTracker().directoryContentSize());
    });
}

void TXPFlatFileStorage::removeAllBatchesForTarget(std::int64_t target, bool deleteEvents,
                                                   std::function<void()> onComplete) {
    batchIDsForTarget(target,
                      [self = shared_from_this(), deleteEvents, onComplete = std::move(onComplete)](
                          std::optional<std::set<std::int64_t>> batchIDs) {
                          // Already on the storage queue: remove in place, then complete.
                          if (batchIDs)
                              for (std::int64_t batchID : *batchIDs)
                                  self->syncThreadUnsafeRemoveBatchWithID(batchID, deleteEvents);
                          if (onComplete) onComplete();
                      });
}

void TXPFlatFileStorage::fetchAndUpdateMetricsWithHandler(
    MetricsHandler handler, std::function<void(ErrorRef)> onComplete) {
    storageQueue_.async([self = shared_from_this(), handler = std::move(handler),
                         onComplete = std::move(onComplete)] {
        std::optional<fs::path> file = self->libraryPathForKey("metrics_metadata");
        ErrorRef readError;
        std::optional<TXPMetricsMetadata> stored =
            TXPDecodeArchiveAtPath<TXPMetricsMetadata>(*file, &readError);
        std::optional<TXPMetricsMetadata> next = handler(stored, stored ? nullptr : readError);
        ErrorRef writeError;
        if (next && next != stored) TXPEncodeArchive(*next, *file, &writeError);
        if (onComplete) onComplete(writeError);
    });
}

void TXPFlatFileStorage::fetchStorageMetadata(std::function<void(TXPStorageMetadata)> onComplete) {
    storageSizeWithCallback([onComplete = std::move(onComplete)](std::uint64_t size) {
        if (onComplete) onComplete(TXPStorageMetadata{size, kMaxStorageSize});
    });
}

void TXPFlatFileStorage::appWillBackground(TXPApplication& application) {
    storageQueue_.async([&application] {
        TXPBackgroundIdentifier task = application.beginBackgroundTask("TXStorage", nullptr);
        application.endBackgroundTask(task);
    });
}

}  // namespace pex
