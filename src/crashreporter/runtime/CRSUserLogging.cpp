#include "crashreporter/runtime/CRSUserLogging.h"

#include <execinfo.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSPlatform.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"

namespace pex {

namespace {

constexpr int kMaxErrorFrames = 128;

// Guards every active-path slot: the logging queue replaces them, callers read them.
std::mutex& slotLock() {
    static std::mutex lock;
    return lock;
}

const char* readSlot(const char** slot) {
    std::lock_guard guard(slotLock());
    return *slot;
}

// Runs `work` on the logging queue and waits for it; runs it directly when already there.
void runOnLoggingQueue(const std::function<void()>& work) {
    const DispatchQueue queue = CRSUserLoggingQueue();
    if (queue.isCurrent()) {
        work();
    } else {
        queue.sync(work);
    }
}

const char* joinedPath(const char* directory, const char* name) {
    return CRSDupString((std::string(directory) + "/" + name).c_str());
}

CRSUserLoggingReadOnlyContext* contextStorages() {
    return CRSContextIsInitialized() ? &crsContext->readonly->logging : nullptr;
}

// The longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8
// character, so the cut message still decodes.
std::string utf8Prefix(const std::string& text, std::size_t maxBytes) {
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string formatted(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

void writeKVLine(CRSFile* file, const std::string& key, const nlohmann::json& value) {
    CRSFileWriteSectionStart(file, "kv");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryString(file, "key", key.c_str());
    CRSFileWriteHashEntryString(
        file, "value", value.is_string() ? value.get_ref<const std::string&>().c_str() : nullptr);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

// A value's text: strings as they are, anything else as its JSON text.
std::string describe(const nlohmann::json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// Each pair of `info` as [hex key, hex text]; nothing at all for no or empty information.
void writeInfoArray(CRSFile* file, const char* name, const nlohmann::json& info) {
    if (!info.is_object() || info.empty()) return;
    CRSFileWriteHashKey(file, name);
    CRSFileWriteArrayStart(file);
    for (const auto& [key, value] : info.items()) {
        CRSFileWriteArrayStart(file);
        CRSFileWriteArrayEntryHexEncodedString(file, key.c_str());
        CRSFileWriteArrayEntryHexEncodedString(file, describe(value).c_str());
        CRSFileWriteArrayEnd(file);
    }
    CRSFileWriteArrayEnd(file);
}

// One side of the key-value files, read as "kv" members in file order.
std::vector<nlohmann::json> readKVEntries(const char* path) {
    auto lines = CRSFileReadSections(path, true, [](const nlohmann::json& line) {
        auto found = line.find("kv");
        return found != line.end() && found->is_object() ? std::optional(*found) : std::nullopt;
    });
    return lines.value_or(std::vector<nlohmann::json>());
}

// Key and value of one entry; false when either is missing. A value is a text or null.
bool entryParts(const nlohmann::json& entry, bool decodeHex, std::string* key,
                nlohmann::json* value) {
    auto keyIt = entry.find("key");
    auto valueIt = entry.find("value");
    if (keyIt == entry.end() || !keyIt->is_string() || valueIt == entry.end() ||
        !(valueIt->is_string() || valueIt->is_null())) {
        return false;
    }
    *key = keyIt->get<std::string>();
    *value = *valueIt;
    if (!decodeHex) return true;
    auto decodedKey = CRSFileHexDecodeString(key->c_str());
    if (!decodedKey) return false;
    *key = *decodedKey;
    if (value->is_string()) {
        auto decodedValue = CRSFileHexDecodeString(value->get_ref<const std::string&>().c_str());
        if (!decodedValue) return false;
        *value = *decodedValue;
    }
    return true;
}

}  // namespace

DispatchQueue CRSUserLoggingQueue() {
    static const DispatchQueue queue =
        DispatchQueue::serial(std::string(kCRSSDKBundleIdentifier) + ".logging");
    return queue;
}

void CRSUserLoggingInitStorages(CRSUserLoggingReadOnlyContext* storages, const char* rootPath,
                                const CRSContextInitData& initData,
                                CRSUserLoggingWritableContext* writable, int* errorsCount,
                                int* customExceptionCount) {
    if (storages == nullptr || rootPath == nullptr) return;
    storages->userKVStorage = {joinedPath(rootPath, "user_incremental_kv.clsrecord"),
                               joinedPath(rootPath, "user_compacted_kv.clsrecord"),
                               kCRSUserLoggingMaxIncrementalCount, initData.maxKeyValues};
    storages->internalKVStorage = {joinedPath(rootPath, "internal_incremental_kv.clsrecord"),
                                   joinedPath(rootPath, "internal_compacted_kv.clsrecord"),
                                   kCRSUserLoggingMaxIncrementalCount,
                                   kCRSUserLoggingMaxInternalKeys};
    storages->logStorage = {joinedPath(rootPath, "log_a.clsrecord"),
                            joinedPath(rootPath, "log_b.clsrecord"),
                            initData.maxLogSize,
                            0,
                            true,
                            nullptr};
    storages->errorStorage = {joinedPath(rootPath, "errors_a.clsrecord"),
                              joinedPath(rootPath, "errors_b.clsrecord"),
                              0,
                              initData.errorsEnabled ? initData.maxCustomExceptions : 0,
                              false,
                              errorsCount};
    storages->customExceptionStorage = {
        joinedPath(rootPath, "custom_exception_a.clsrecord"),
        joinedPath(rootPath, "custom_exception_b.clsrecord"),
        0,
        initData.customExceptionsEnabled ? initData.maxCustomExceptions : 0,
        false,
        customExceptionCount};
    CRSUserLoggingInit(storages, writable);
}

void CRSUserLoggingInit(CRSUserLoggingReadOnlyContext* storages,
                        CRSUserLoggingWritableContext* writable) {
    if (storages == nullptr || writable == nullptr) return;
    {
        std::lock_guard guard(slotLock());
        writable->activeUserLogPath = storages->logStorage.aPath;
        writable->activeErrorLogPath = storages->errorStorage.aPath;
        writable->activeCustomExceptionPath = storages->customExceptionStorage.aPath;
    }
    writable->userKVCount = 0;
    writable->internalKVCount = 0;
    if (storages->errorStorage.entryCount != nullptr) *storages->errorStorage.entryCount = 0;
    if (storages->customExceptionStorage.entryCount != nullptr) {
        *storages->customExceptionStorage.entryCount = 0;
    }
    storages->userKVStorage.maxIncrementalCount = kCRSUserLoggingMaxIncrementalCount;
    storages->internalKVStorage.maxIncrementalCount = kCRSUserLoggingMaxIncrementalCount;
}

// Keys and values.

void CRSUserLoggingRecordUserKeyValue(const std::optional<std::string>& key,
                                      const nlohmann::json& value) {
    CRSUserLoggingReadOnlyContext* storages = contextStorages();
    if (storages == nullptr) return;
    CRSUserLoggingRecordKeyValue(key, value, &storages->userKVStorage,
                                 &crsContext->writable->logging.userKVCount);
}

void CRSUserLoggingRecordUserKeysAndValues(const CRSKeyValues& keysAndValues) {
    CRSUserLoggingReadOnlyContext* storages = contextStorages();
    if (storages == nullptr) return;
    CRSUserLoggingRecordKeysAndValues(keysAndValues, &storages->userKVStorage,
                                      &crsContext->writable->logging.userKVCount);
}

void CRSUserLoggingRecordInternalKeyValue(const std::optional<std::string>& key,
                                          const nlohmann::json& value) {
    CRSUserLoggingReadOnlyContext* storages = contextStorages();
    if (storages == nullptr) return;
    CRSUserLoggingRecordKeyValue(key, value, &storages->internalKVStorage,
                                 &crsContext->writable->logging.internalKVCount);
}

void CRSUserLoggingWriteInternalKeyValue(const std::string& key, const nlohmann::json& value) {
    if (reinterpret_cast<std::uintptr_t>(crsContext) < 4096 || crsContext->readonly == nullptr) {
        return;
    }
    nlohmann::json entry = nlohmann::json::object();
    entry[CRSFileHexEncodeString(key.c_str())] =
        value.is_null() ? nlohmann::json()
                        : nlohmann::json(CRSFileHexEncodeString(describe(value).c_str()));
    CRSUserLoggingWriteKeysAndValues(entry, &crsContext->readonly->logging.internalKVStorage,
                                     &crsContext->writable->logging.internalKVCount, false);
}

void CRSUserLoggingRecordKeyValue(const std::optional<std::string>& key,
                                  const nlohmann::json& value, CRSUserLoggingKVStorage* storage,
                                  int* counter) {
    if (!key) {
        CRSSDKLogWarn("User provided bad key\n");
        return;
    }
    CRSUserLoggingRecordKeysAndValues(nlohmann::json::object({{*key, value}}), storage, counter);
}

void CRSUserLoggingRecordKeysAndValues(const CRSKeyValues& keysAndValues,
                                       CRSUserLoggingKVStorage* storage, int* counter) {
    if (!CRSContextIsInitialized()) return;
    if (!keysAndValues.is_object() || keysAndValues.empty()) {
        CRSSDKLogWarn("User provided empty key/value dictionary\n");
        return;
    }
    // The files hold hex: keys and value texts are encoded here, a removal stays null.
    nlohmann::json entries = nlohmann::json::object();
    bool removal = false;
    for (const auto& [key, value] : keysAndValues.items()) {
        const std::string hexKey = CRSFileHexEncodeString(key.c_str());
        if (value.is_null()) {
            entries[hexKey] = nullptr;
            removal = true;
        } else {
            entries[hexKey] = CRSFileHexEncodeString(describe(value).c_str());
        }
    }
    runOnLoggingQueue(
        [&] { CRSUserLoggingWriteKeysAndValues(entries, storage, counter, removal); });
}

void CRSUserLoggingWriteKeysAndValues(const CRSKeyValues& keysAndValues,
                                      CRSUserLoggingKVStorage* storage, int* counter,
                                      bool forceCompaction) {
    if (storage == nullptr || counter == nullptr) {
        CRSSDKLogError("Bad parameters\n");
        return;
    }
    CRSFile file;
    if (!CRSFileInitWithPathMode(&file, storage->incrementalPath, true, true)) {
        CRSSDKLogError("Unable to open k-v file\n");
        return;
    }
    for (const auto& [key, value] : keysAndValues.items()) writeKVLine(&file, key, value);
    CRSFileClose(&file);

    *counter += static_cast<int>(keysAndValues.size());
    if (forceCompaction || *counter >= static_cast<int>(storage->maxIncrementalCount)) {
        CRSUserLoggingQueue().async([storage, counter] {
            CRSUserLoggingCompactKVEntries(storage);
            *counter = 0;
        });
    }
}

nlohmann::json CRSUserLoggingGetCompactedKVEntries(const CRSUserLoggingKVStorage* storage,
                                                   bool decodeHex) {
    nlohmann::json entries = nlohmann::json::object();
    if (!CRSContextIsInitialized()) return entries;
    if (storage == nullptr || storage->incrementalPath == nullptr ||
        storage->compactedPath == nullptr) {
        CRSSDKLogError("storage invalid\n");
        return entries;
    }
    const std::vector<nlohmann::json> compacted = readKVEntries(storage->compactedPath);
    const std::vector<nlohmann::json> incremental = readKVEntries(storage->incrementalPath);
    std::string key;
    nlohmann::json value;
    for (const nlohmann::json& entry : compacted) {
        if (!entryParts(entry, decodeHex, &key, &value)) {
            CRSSDKLogError("compacted key/value contains a nil and must be dropped\n");
            continue;
        }
        entries[key] = value;
    }
    for (const nlohmann::json& entry : incremental) {
        if (!entryParts(entry, decodeHex, &key, &value)) {
            CRSSDKLogError("incremental key/value contains a nil and must be dropped\n");
            continue;
        }
        if (value.is_null()) {
            entries.erase(key);
        } else {
            entries[key] = value;
        }
    }
    return entries;
}

void CRSUserLoggingCompactKVEntries(CRSUserLoggingKVStorage* storage) {
    if (storage == nullptr || storage->incrementalPath == nullptr ||
        storage->compactedPath == nullptr) {
        CRSSDKLogError("Error: storage invalid\n");
        return;
    }
    nlohmann::json entries = CRSUserLoggingGetCompactedKVEntries(storage, false);

    // The new set is written beside the old one and renamed over it, and only then is the
    // incremental file removed: a crash at any step leaves every key in one of the files.
    const std::string temporaryPath = std::string(storage->compactedPath) + ".tmp";
    CRSFile file;
    if (!CRSFileInitWithPathMode(&file, temporaryPath.c_str(), false, true)) {
        CRSSDKLogWarn("Error: Unable to open compacted k-v file\n");
        return;
    }
    if (entries.size() > storage->maxCount) {
        CRSSDKLogInfo("Truncating %d keys from KV set, which is above max %d\n",
                      static_cast<int>(entries.size() - storage->maxCount),
                      static_cast<int>(storage->maxCount));
    }
    std::uint32_t written = 0;
    for (const auto& [key, value] : entries.items()) {
        if (written++ == storage->maxCount) break;
        writeKVLine(&file, key, value);
    }
    if (!CRSFileClose(&file)) {
        CRSSDKLogWarn("Error: Unable to write compacted k-v file\n");
        CRSUnlinkIfExists(temporaryPath.c_str());
        return;
    }
    if (std::rename(temporaryPath.c_str(), storage->compactedPath) != 0) {
        CRSSDKLogWarn("Error: Unable to replace compacted KV store %s\n", strerror(errno));
        CRSUnlinkIfExists(temporaryPath.c_str());
        return;
    }
    if (unlink(storage->incrementalPath) != 0) {
        CRSSDKLogWarn("Error: Unable to remove incremental KV store after compaction %s\n",
                      strerror(errno));
    }
}

// Log lines.

void CRSLog(const char* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    const std::string message = formatted(format, args);
    va_end(args);
    if (!CRSContextIsInitialized()) {
        CRSLogMessageToStorage(nullptr, nullptr, message);
        return;
    }
    CRSLogMessageToStorage(&crsContext->readonly->logging.logStorage,
                           &crsContext->writable->logging.activeUserLogPath, message);
}

void CRSLogToStorage(CRSUserLoggingABStorage* storage, const char** activePath, const char* format,
                     ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    const std::string message = formatted(format, args);
    va_end(args);
    CRSLogMessageToStorage(storage, activePath, message);
}

void CRSLogMessageToStorage(CRSUserLoggingABStorage* storage, const char** activePath,
                            const std::string& message) {
    if (!CRSContextIsInitialized()) {
        CRSWarningLog(
            "WARNING: CRSLog has been used before (or concurrently with) CrashReporter "
            "initialization and cannot be recorded. The message was: \n" +
            message);
        return;
    }
    if (storage == nullptr) return;
    std::string text = message;
    if (storage->maxSize > 0 && text.size() > storage->maxSize) {
        char warning[200];
        std::snprintf(warning, sizeof warning,
                      "WARNING: Attempted to write %zd bytes, but %d is the maximum size of the "
                      "log. Truncating to %d bytes.\n",
                      static_cast<ssize_t>(text.size()), static_cast<int>(storage->maxSize),
                      static_cast<int>(storage->maxSize));
        CRSWarningLog(warning);
        text = utf8Prefix(text, storage->maxSize);
    }
    timeval now{};
    if (gettimeofday(&now, nullptr) != 0) return;
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                                       static_cast<std::uint64_t>(now.tv_usec) / 1000;
    CRSUserLoggingWriteAndCheckABFiles(storage, activePath, [&](CRSFile* file) {
        CRSFileWriteSectionStart(file, "log");
        CRSFileWriteHashStart(file);
        CRSFileWriteHashEntryHexEncodedString(file, "msg", text.c_str());
        CRSFileWriteHashEntryUint64(file, "time", milliseconds);
        CRSFileWriteHashEnd(file);
        CRSFileWriteSectionEnd(file);
    });
}

// Errors.

void CRSUserLoggingRecordError(const Error* error, const nlohmann::json& additionalUserInfo,
                               const std::optional<std::string>& rollouts) {
    if (error == nullptr || !CRSContextIsInitialized()) return;
    // The text stands unquoted in the record: only well-formed JSON on one line may.
    const bool withRollouts =
        rollouts && rollouts->find('\n') == std::string::npos && nlohmann::json::accept(*rollouts);
    void* frames[kMaxErrorFrames];
    const int frameCount = backtrace(frames, kMaxErrorFrames);
    const auto seconds = static_cast<std::uint64_t>(std::time(nullptr));
    CRSUserLoggingWriteAndCheckABFiles(
        &crsContext->readonly->logging.errorStorage,
        &crsContext->writable->logging.activeErrorLogPath, [&](CRSFile* file) {
            CRSFileWriteSectionStart(file, "error");
            CRSFileWriteHashStart(file);
            CRSFileWriteHashEntryHexEncodedString(file, "domain", error->domain().c_str());
            CRSFileWriteHashEntryInt64(file, "code", error->code());
            CRSFileWriteHashEntryUint64(file, "time", seconds);
            CRSFileWriteHashKey(file, "stacktrace");
            CRSFileWriteArrayStart(file);
            for (int i = 0; i < frameCount; ++i) {
                CRSFileWriteArrayEntryUint64(file, reinterpret_cast<std::uintptr_t>(frames[i]));
            }
            CRSFileWriteArrayEnd(file);
            writeInfoArray(file, "info", error->userInfo());
            writeInfoArray(file, "extra_info", additionalUserInfo);
            if (withRollouts) {
                // As in exception records: an object holding the text under the same key.
                CRSFileWriteHashKey(file, "rollouts");
                CRSFileWriteHashStart(file);
                CRSFileWriteHashKey(file, "rollouts");
                CRSFileWriteStringUnquoted(file, rollouts->c_str());
                CRSFileWriteHashEnd(file);
            }
            CRSFileWriteHashEnd(file);
            CRSFileWriteSectionEnd(file);
        });
}

// A/B files.

void CRSUserLoggingWriteAndCheckABFiles(CRSUserLoggingABStorage* storage, const char** activePath,
                                        const CRSUserLoggingWriter& writer) {
    if (storage == nullptr || activePath == nullptr || !writer) return;
    const std::uint32_t limit = storage->restrictBySize ? storage->maxSize : storage->maxEntries;
    if (limit == 0) return;
    runOnLoggingQueue([&] {
        // The slot is read here, behind any swap queued by the previous write, so a write
        // never lands in the file that swap just retired.
        const char* path = readSlot(activePath);
        if (path == nullptr || *path == '\0') return;
        CRSFile file;
        if (!CRSFileInitWithPathMode(&file, path, true, true)) {
            CRSSDKLogWarn("Unable to open log file\n");
            return;
        }
        writer(&file);
        std::uint64_t size = 0;
        CRSFileCloseWithOffset(&file, &size);
        if (!storage->restrictBySize && storage->entryCount != nullptr) ++*storage->entryCount;
        CRSUserLoggingQueue().async([storage, activePath, size] {
            CRSUserLoggingCheckAndSwapABFiles(storage, activePath, size);
        });
    });
}

void CRSUserLoggingCheckAndSwapABFiles(CRSUserLoggingABStorage* storage, const char** activePath,
                                       std::uint64_t fileSize) {
    if (storage == nullptr || activePath == nullptr) return;
    if (storage->restrictBySize) {
        if (fileSize <= storage->maxSize) return;
    } else {
        if (storage->entryCount == nullptr) {
            CRSSDKLogError(
                "Error: storage has invalid pointer, but is restricted by entry count\n");
            return;
        }
        if (*storage->entryCount < static_cast<int>(storage->maxEntries)) return;
        *storage->entryCount = 0;
    }
    const char* current = readSlot(activePath);
    const char* other = current != nullptr && std::strcmp(current, storage->aPath) == 0
                            ? storage->bPath
                            : storage->aPath;
    unlink(other);
    std::lock_guard guard(slotLock());
    *activePath = other;
}

}  // namespace pex
