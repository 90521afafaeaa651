#pragma once
// A type-checking face over the settings store (the standard store or a named suite) for SDK
// parts that keep small flags and numbers. Keys must be non-empty; values must be
// property-list values. Bad keys and values are refused with a warning and change nothing.
// Safe from any thread: the store underneath is.
#include <any>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {

class UTLUserDefaults {
  public:
    // The shared instance over the standard store.
    static UTLUserDefaults& standardUserDefaults();

    // Over the standard store.
    UTLUserDefaults();
    // A non-empty name opens that suite; none or "" uses the standard store. A name that cannot
    // name a suite file (holding "/", or "." or "..") throws std::invalid_argument.
    explicit UTLUserDefaults(const std::optional<std::string>& suiteName);

    std::optional<PropertyList> objectForKey(const std::string& key) const;
    // Stores `value` when it holds a property-list value (a PropertyList, a text, a number, a
    // Boolean, a date, data, an array or a dictionary); an empty `value` removes the key.
    void setObject(const std::any& value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // The stored value read as a number or Boolean the platform's way; 0 or false when absent.
    std::int64_t integerForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;

    // The stored value when it is of the named kind.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<PropertyList::Array> arrayForKey(const std::string& key) const;
    std::optional<PropertyList::Dictionary> dictionaryForKey(const std::string& key) const;

    void setInteger(std::int64_t value, const std::string& key);
    void setFloat(float value, const std::string& key);
    void setDouble(double value, const std::string& key);
    void setBool(bool value, const std::string& key);

  private:
    std::optional<nlohmann::json> storedValue(const std::string& key) const;

    std::shared_ptr<UserDefaults> suite_;  // empty for the standard store
    UserDefaults* store_;                  // the standard store or `suite_`
};

}  // namespace pex
