#include "beacon-core/UTLUserDefaults.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "beacon-core/UTLLogger.h"
#include "platform/foundation/DefaultsValueReading.h"

namespace pex {

namespace {

constexpr const char* kLoggerSubsystem = "com.beacon.utilities.logger";

void warn(const char* category, long code, const std::string& text) {
    UTLLogWarning(kLoggerSubsystem, category, false, UTLMessageCode("I-UTL", code), "%@", text);
}

// The property-list value held by `value`, if it holds one.
std::optional<PropertyList> propertyListIn(const std::any& value) {
    if (const auto* plist = std::any_cast<PropertyList>(&value)) return *plist;
    if (const auto* text = std::any_cast<std::string>(&value)) return PropertyList(*text);
    if (const auto* text = std::any_cast<const char*>(&value)) {
        if (*text) return PropertyList(*text);
        return std::nullopt;
    }
    if (const auto* number = std::any_cast<std::int64_t>(&value)) return PropertyList(*number);
    if (const auto* number = std::any_cast<int>(&value)) return PropertyList(*number);
    if (const auto* number = std::any_cast<double>(&value)) return PropertyList(*number);
    if (const auto* number = std::any_cast<float>(&value))
        return PropertyList(static_cast<double>(*number));
    if (const auto* flag = std::any_cast<bool>(&value)) return PropertyList(*flag);
    if (const auto* date = std::any_cast<PropertyList::Date>(&value)) return PropertyList(*date);
    if (const auto* data = std::any_cast<PropertyList::Data>(&value)) return PropertyList(*data);
    if (const auto* items = std::any_cast<PropertyList::Array>(&value)) return PropertyList(*items);
    if (const auto* entries = std::any_cast<PropertyList::Dictionary>(&value))
        return PropertyList(*entries);
    return std::nullopt;
}

std::string typeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && readable ? readable.get() : type.name();
}

}  // namespace

UTLUserDefaults& UTLUserDefaults::standardUserDefaults() {
    static auto* shared = new UTLUserDefaults;
    return *shared;
}

UTLUserDefaults::UTLUserDefaults() : UTLUserDefaults(std::nullopt) {}

UTLUserDefaults::UTLUserDefaults(const std::optional<std::string>& suiteName)
    : suite_(suiteName && !suiteName->empty() ? UserDefaults::suite(*suiteName) : nullptr),
      store_(suite_ ? suite_.get() : &UserDefaults::standard()) {}

std::optional<nlohmann::json> UTLUserDefaults::storedValue(const std::string& key) const {
    if (key.empty()) {
        warn("<BeaconUtilities>", 1, "Cannot get object for invalid user default key.");
        return std::nullopt;
    }
    return store_->object(key);
}

std::optional<PropertyList> UTLUserDefaults::objectForKey(const std::string& key) const {
    auto stored = storedValue(key);
    if (!stored) return std::nullopt;
    return PropertyList::fromJson(*stored);
}

void UTLUserDefaults::setObject(const std::any& value, const std::string& key) {
    if (key.empty()) {
        warn("[BeaconUtilities/UserDefaults]", 2,
             "Cannot set object for invalid user default key.");
        return;
    }
    if (!value.has_value()) {
        store_->remove(key);
        return;
    }
    auto plist = propertyListIn(value);
    if (!plist) {
        warn("[BeaconUtilities/UserDefaults]", 3,
             std::string("Cannot set invalid object to user defaults. Must be a string, "
                         "number, array, dictionary, date, or data. Value: <") +
                 typeName(value.type()) + ">");
        return;
    }
    store_->set(key, plist->toJson());
}

void UTLUserDefaults::removeObjectForKey(const std::string& key) {
    setObject(std::any(), key);
}

std::int64_t UTLUserDefaults::integerForKey(const std::string& key) const {
    return DefaultsValueReading::integerValue(storedValue(key));
}

float UTLUserDefaults::floatForKey(const std::string& key) const {
    return static_cast<float>(doubleForKey(key));
}

double UTLUserDefaults::doubleForKey(const std::string& key) const {
    return DefaultsValueReading::doubleValue(storedValue(key));
}

bool UTLUserDefaults::boolForKey(const std::string& key) const {
    return DefaultsValueReading::boolValue(storedValue(key));
}

std::optional<std::string> UTLUserDefaults::stringForKey(const std::string& key) const {
    auto stored = storedValue(key);
    if (!stored || !stored->is_string()) return std::nullopt;
    return stored->get<std::string>();
}

std::optional<PropertyList::Array> UTLUserDefaults::arrayForKey(const std::string& key) const {
    auto plist = objectForKey(key);
    if (!plist || !plist->is<PropertyList::Array>()) return std::nullopt;
    return *plist->get<PropertyList::Array>();
}

std::optional<PropertyList::Dictionary> UTLUserDefaults::dictionaryForKey(
    const std::string& key) const {
    auto plist = objectForKey(key);
    if (!plist || !plist->is<PropertyList::Dictionary>()) return std::nullopt;
    return *plist->get<PropertyList::Dictionary>();
}

void UTLUserDefaults::setInteger(std::int64_t value, const std::string& key) {
    setObject(value, key);
}

void UTLUserDefaults::setFloat(float value, const std::string& key) {
    setObject(value, key);
}

void UTLUserDefaults::setDouble(double value, const std::string& key) {
    setObject(value, key);
}

void UTLUserDefaults::setBool(bool value, const std::string& key) {
    setObject(value, key);
}

}  // namespace pex
