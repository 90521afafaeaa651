#pragma once
// The crash SDK's own small persistent dictionary, kept in a property-list file of its own
// rather than the application's settings store, so the SDK's remembered choices (the
// data-collection switch, the install identifiers) survive launches without mixing with the
// application's settings. Reads and writes work on an in-memory copy; `synchronize` writes the
// file when something changed. Any thread may call; every call waits for its result.
//
// File: <application support>/<bundle identifier, "/" →
// "_">/com.crashreporter/CRSUserDefaults.plist (the bundle folder is left out when there is no
// bundle identifier).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/PropertyList.h"

namespace pex {

class CRSUserDefaults {
  public:
    using Dictionary = PropertyList::Dictionary;

    // The one shared instance, created on first use.
    static CRSUserDefaults& standardUserDefaults();

    // A store in `directory` (tests); the shared instance uses `generateDirectoryURL`. Reads the
    // file at once.
    explicit CRSUserDefaults(std::filesystem::path directory = generateDirectoryURL());
    CRSUserDefaults(const CRSUserDefaults&) = delete;
    CRSUserDefaults& operator=(const CRSUserDefaults&) = delete;

    static std::filesystem::path generateDirectoryURL();
    // The dictionary a store file holds; none when the bytes are not a property list whose top
    // level is a dictionary.
    static std::optional<Dictionary> dictionaryFromPropertyList(std::string_view bytes);

    std::optional<PropertyList> objectForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;  // texts only
    bool boolForKey(const std::string& key) const;             // numbers only, else false
    std::int64_t integerForKey(const std::string& key) const;  // numbers only, else 0

    // Nothing removes the key.
    void setObject(std::optional<PropertyList> value, const std::string& key);
    void setString(const std::string& value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void setInteger(std::int64_t value, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();

    Dictionary dictionaryRepresentation() const;
    Dictionary persistedDataDictionary() const;

    // Writes the file when the live values differ from what the file held.
    void synchronize();
    bool synchronizeWroteToDisk() const;

    // Moves each of `keys` that the application's settings store holds into this store, then
    // writes this store and removes the keys from the application's store.
    void migrateFromNSUserDefaults(const std::vector<std::string>& keys);
    // The value of `key` here; else the application's settings store's value, moved here.
    std::optional<PropertyList> objectForKeyByMigratingFromNSUserDefaults(const std::string& key);

    const std::filesystem::path& directoryURL() const { return directoryURL_; }
    const std::filesystem::path& fileURL() const { return fileURL_; }

  private:
    std::optional<Dictionary> loadDefaults() const;

    std::filesystem::path directoryURL_;
    std::filesystem::path fileURL_;
    // Guards the two dictionaries and the flag; only ever touched on the access queue.
    DispatchQueue serialDictionaryQueue_;
    // File reads and writes.
    DispatchQueue synchronizationQueue_;
    bool synchronizeWroteToDisk_ = false;
    Dictionary persistedDataDictionary_;
    Dictionary dataDictionary_;
};

}  // namespace pex
