#pragma once
// User-supplied context kept next to the current report so a later crash report carries it:
// custom key-value pairs (the application's and the SDK's own), free-text log lines and
// recorded non-fatal errors. Everything goes to record files at once, never only to memory.
//
// Keys are appended to an incremental file and folded now and then into a compacted file.
// Log lines and errors go to a pair of files used in turn (A/B): once the active one passes
// its limit, the other is emptied and becomes active, so the newest data within the limit
// always survives. All file work runs on the serial ".logging" queue.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "crashreporter/runtime/CRSContextInitData.h"
#include "crashreporter/runtime/CRSFile.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Error.h"

namespace pex {

struct CRSUserLoggingKVStorage {
    const char* incrementalPath;
    const char* compactedPath;
    std::uint32_t maxIncrementalCount;
    std::uint32_t maxCount;
};

struct CRSUserLoggingABStorage {
    const char* aPath;
    const char* bPath;
    std::uint32_t maxSize;
    std::uint32_t maxEntries;
    bool restrictBySize;
    int* entryCount;
};

struct CRSUserLoggingReadOnlyContext {
    CRSUserLoggingKVStorage userKVStorage;
    CRSUserLoggingKVStorage internalKVStorage;
    CRSUserLoggingABStorage logStorage;
    CRSUserLoggingABStorage errorStorage;
    CRSUserLoggingABStorage customExceptionStorage;
};

struct CRSUserLoggingWritableContext {
    const char* activeUserLogPath;
    const char* activeErrorLogPath;
    const char* activeCustomExceptionPath;
    int userKVCount;
    int internalKVCount;
};

inline constexpr std::uint32_t kCRSUserLoggingMaxIncrementalCount = 64;
inline constexpr std::uint32_t kCRSUserLoggingMaxInternalKeys = 32;
inline constexpr char kCRSUserIdKey[] = "com.crashreporter.user-id";

// The serial queue all user-logging file work runs on.
DispatchQueue CRSUserLoggingQueue();

// Fills the storage records for the report folder `rootPath` with the limits of `initData`;
// the counters point into `writable`.
void CRSUserLoggingInitStorages(CRSUserLoggingReadOnlyContext* storages, const char* rootPath,
                                const CRSContextInitData& initData,
                                CRSUserLoggingWritableContext* writable, int* errorsCount,
                                int* customExceptionCount);
// Per launch: the A files active, the counters zero.
void CRSUserLoggingInit(CRSUserLoggingReadOnlyContext* storages,
                        CRSUserLoggingWritableContext* writable);

// A key-value dictionary as the caller gives it: an object whose null values remove their key;
// strings are kept, any other value is stored as its JSON text.
using CRSKeyValues = nlohmann::json;

void CRSUserLoggingRecordUserKeyValue(const std::optional<std::string>& key,
                                      const nlohmann::json& value);
void CRSUserLoggingRecordUserKeysAndValues(const CRSKeyValues& keysAndValues);
void CRSUserLoggingRecordInternalKeyValue(const std::optional<std::string>& key,
                                          const nlohmann::json& value);
// Writes one internal pair at once on the calling thread, with no initialisation test (used
// by start-up before the context is complete).
void CRSUserLoggingWriteInternalKeyValue(const std::string& key, const nlohmann::json& value);

void CRSUserLoggingRecordKeyValue(const std::optional<std::string>& key,
                                  const nlohmann::json& value, CRSUserLoggingKVStorage* storage,
                                  int* counter);
void CRSUserLoggingRecordKeysAndValues(const CRSKeyValues& keysAndValues,
                                       CRSUserLoggingKVStorage* storage, int* counter);
// Appends one "kv" line per entry (values already texts or null) and compacts when forced or
// when the incremental file holds `maxIncrementalCount` entries.
void CRSUserLoggingWriteKeysAndValues(const CRSKeyValues& keysAndValues,
                                      CRSUserLoggingKVStorage* storage, int* counter,
                                      bool forceCompaction);
// Folds the incremental file into the compacted file, keeping at most `maxCount` keys.
void CRSUserLoggingCompactKVEntries(CRSUserLoggingKVStorage* storage);
// The current keys: the compacted file with the incremental file applied on top. Texts stay
// hex unless `decodeHex`. An object; empty when the context is not initialised.
nlohmann::json CRSUserLoggingGetCompactedKVEntries(const CRSUserLoggingKVStorage* storage,
                                                   bool decodeHex);

// Records one log line in the current report; before the context is initialised the line goes
// to the ordinary log instead.
void CRSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void CRSLogToStorage(CRSUserLoggingABStorage* storage, const char** activePath, const char* format,
                     ...) __attribute__((format(printf, 3, 4)));
void CRSLogMessageToStorage(CRSUserLoggingABStorage* storage, const char** activePath,
                            const std::string& message);

// Records a non-fatal error with the calling thread's return addresses. The user information
// of the error and `additionalUserInfo` (JSON objects, or null for none) are kept as text; the
// rollouts text, when given and one line of JSON, goes in as it is.
void CRSUserLoggingRecordError(const Error* error, const nlohmann::json& additionalUserInfo,
                               const std::optional<std::string>& rollouts = std::nullopt);

using CRSUserLoggingWriter = std::function<void(CRSFile*)>;
void CRSUserLoggingWriteAndCheckABFiles(CRSUserLoggingABStorage* storage, const char** activePath,
                                        const CRSUserLoggingWriter& writer);
void CRSUserLoggingCheckAndSwapABFiles(CRSUserLoggingABStorage* storage, const char** activePath,
                                       std::uint64_t fileSize);

}  // namespace pex
