#include "crashreporter/CRSUserDefaults.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>

#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

// The store holds a handful of identifiers and switches; anything far larger is not ours.
constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

std::optional<std::int64_t> numberAsInteger(const PropertyList& value) {
    if (const auto* integer = value.get<std::int64_t>()) return *integer;
    if (const auto* flag = value.get<bool>()) return *flag ? 1 : 0;
    if (const auto* real = value.get<double>()) {
        if (std::isnan(*real)) return 0;
        // Clamped so that a huge stored value cannot overflow the conversion.
        constexpr double kMax = 9.2233720368547748e18;
        return static_cast<std::int64_t>(std::clamp(*real, -kMax, kMax));
    }
    return std::nullopt;
}

}  // namespace

CRSUserDefaults& CRSUserDefaults::standardUserDefaults() {
    static CRSUserDefaults* shared = new CRSUserDefaults();  // kept for the whole process
    return *shared;
}

fs::path CRSUserDefaults::generateDirectoryURL() {
    fs::path directory = StandardFolders::applicationSupport();
    std::string identifier = Bundle::main().bundleIdentifier();
    if (!identifier.empty()) {
        std::replace(identifier.begin(), identifier.end(), '/', '_');
        directory /= identifier;
    }
    return directory / "com.crashreporter";
}

std::optional<CRSUserDefaults::Dictionary> CRSUserDefaults::dictionaryFromPropertyList(
    std::string_view bytes) {
    auto parsed = PropertyList::parse(bytes, nullptr, kMaxFileBytes);
    if (!parsed) return std::nullopt;
    if (const auto* dictionary = parsed->get<Dictionary>()) return *dictionary;
    return std::nullopt;
}

CRSUserDefaults::CRSUserDefaults(fs::path directory)
    : serialDictionaryQueue_(DispatchQueue::serial("com.crashreporter.CRSUserDefaults.access")),
      synchronizationQueue_(DispatchQueue::serial("com.crashreporter.CRSUserDefaults.io")) {
    serialDictionaryQueue_.sync([&] {
        directoryURL_ = std::move(directory);
        fileURL_ = directoryURL_ / "CRSUserDefaults.plist";
        persistedDataDictionary_ = loadDefaults().value_or(Dictionary{});
        dataDictionary_ = persistedDataDictionary_;
    });
}

std::optional<CRSUserDefaults::Dictionary> CRSUserDefaults::loadDefaults() const {
    std::optional<Dictionary> loaded;
    synchronizationQueue_.sync([&] {
        std::error_code error;
        const auto status = fs::symlink_status(fileURL_, error);
        if (status.type() == fs::file_type::directory) {
            CRSErrorLog("Found directory where file expected. Removing conflicting directory");
            fs::remove_all(fileURL_, error);
            if (error) CRSErrorLog("Error removing conflicting directory: " + error.message());
            return;
        }
        if (!fs::exists(status)) return;
        std::optional<std::string> bytes;
        if (fs::is_regular_file(status) && fs::file_size(fileURL_, error) <= kMaxFileBytes &&
            !error) {
            bytes = AtomicFile::read(fileURL_, error, kMaxFileBytes);
        }
        if (bytes) loaded = dictionaryFromPropertyList(*bytes);
        if (!loaded) CRSErrorLog("Failed to read existing UserDefaults file");
    });
    return loaded;
}

std::optional<PropertyList> CRSUserDefaults::objectForKey(const std::string& key) const {
    std::optional<PropertyList> value;
    serialDictionaryQueue_.sync([&] {
        auto found = dataDictionary_.find(key);
        if (found != dataDictionary_.end()) value = found->second;
    });
    return value;
}

std::optional<std::string> CRSUserDefaults::stringForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (value && value->is<std::string>()) return *value->get<std::string>();
    return std::nullopt;
}

bool CRSUserDefaults::boolForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return false;
    if (const auto* real = value->get<double>()) return *real != 0;
    return numberAsInteger(*value).value_or(0) != 0;
}

std::int64_t CRSUserDefaults::integerForKey(const std::string& key) const {
    auto value = objectForKey(key);
    return value ? numberAsInteger(*value).value_or(0) : 0;
}

void CRSUserDefaults::setObject(std::optional<PropertyList> value, const std::string& key) {
    serialDictionaryQueue_.sync([&] {
        if (value) {
            dataDictionary_[key] = std::move(*value);
        } else {
            dataDictionary_.erase(key);
        }
    });
}

void CRSUserDefaults::setString(const std::string& value, const std::string& key) {
    setObject(PropertyList(value), key);
}
void CRSUserDefaults::setBool(bool value, const std::string& key) {
    setObject(PropertyList(value), key);
}
void CRSUserDefaults::setInteger(std::int64_t value, const std::string& key) {
    setObject(PropertyList(value), key);
}

void CRSUserDefaults::removeObjectForKey(const std::string& key) {
    serialDictionaryQueue_.sync([&] { dataDictionary_.erase(key); });
}

void CRSUserDefaults::removeAllObjects() {
    serialDictionaryQueue_.sync([&] { dataDictionary_.clear(); });
}

CRSUserDefaults::Dictionary CRSUserDefaults::dictionaryRepresentation() const {
    Dictionary copy;
    serialDictionaryQueue_.sync([&] { copy = dataDictionary_; });
    return copy;
}

CRSUserDefaults::Dictionary CRSUserDefaults::persistedDataDictionary() const {
    Dictionary copy;
    serialDictionaryQueue_.sync([&] { copy = persistedDataDictionary_; });
    return copy;
}

bool CRSUserDefaults::synchronizeWroteToDisk() const {
    bool wrote = false;
    serialDictionaryQueue_.sync([&] { wrote = synchronizeWroteToDisk_; });
    return wrote;
}

void CRSUserDefaults::synchronize() {
    bool changed = false;
    Dictionary snapshot;
    serialDictionaryQueue_.sync([&] {
        changed = persistedDataDictionary_ != dataDictionary_;
        synchronizeWroteToDisk_ = changed;
        if (changed) snapshot = dataDictionary_;
    });
    if (!changed) return;

    bool written = false;
    synchronizationQueue_.sync([&] {
        std::error_code error;
        if (!fs::exists(directoryURL_, error)) {
            fs::create_directories(directoryURL_, error);
            if (error) {
                CRSErrorLog("Failed to create directory with error: " + error.message());
            } else {
                fs::permissions(directoryURL_, fs::perms::owner_all, fs::perm_options::replace,
                                error);
            }
        }
        const std::string bytes = PropertyList(snapshot).serialize(PropertyList::Format::Xml);
        written = !AtomicFile::write(fileURL_, bytes);
        if (!written) CRSErrorLog("Unable to open file for writing at path " + fileURL_.string());
    });
    // What was written becomes the persisted state, so a change made by another thread while
    // the file was being written still counts as unsaved and goes out with the next call; after
    // a failed write the next call tries again.
    if (!written) return;
    serialDictionaryQueue_.sync([&] { persistedDataDictionary_ = std::move(snapshot); });
}

void CRSUserDefaults::migrateFromNSUserDefaults(const std::vector<std::string>& keys) {
    UserDefaults& application = UserDefaults::standard();
    bool migrated = false;
    for (const std::string& key : keys) {
        auto stored = application.object(key);
        if (!stored) continue;
        auto value = PropertyList::fromJson(*stored);
        if (!value) continue;
        setObject(std::move(value), key);
        migrated = true;
    }
    if (!migrated) return;
    synchronize();
    for (const std::string& key : keys) application.remove(key);
}

std::optional<PropertyList> CRSUserDefaults::objectForKeyByMigratingFromNSUserDefaults(
    const std::string& key) {
    if (key.empty()) return std::nullopt;
    if (auto own = objectForKey(key)) return own;
    UserDefaults& application = UserDefaults::standard();
    auto stored = application.object(key);
    if (!stored) return std::nullopt;
    auto value = PropertyList::fromJson(*stored);
    if (!value) return std::nullopt;
    setObject(value, key);
    synchronize();
    application.remove(key);
    return value;
}

}  // namespace pex
