#pragma once
// A property-list value: text, integer, real, Boolean, date, data, array or dictionary. Read
// from and written to the XML and binary property-list formats (through libplist, but for
// the binary writer, BinaryPropertyListWriter.h), and
// converted to and from the JSON form that the settings store keeps.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

class PropertyList {
  public:
    // A moment as seconds since 2001-01-01 00:00:00 UTC, the property-list epoch.
    struct Date {
        double secondsSinceReferenceDate = 0;
        bool operator==(const Date&) const = default;
    };
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<PropertyList>;
    using Dictionary = std::map<std::string, PropertyList>;
    using Value =
        std::variant<std::string, std::int64_t, double, bool, Date, Data, Array, Dictionary>;

    enum class Format { Xml, Binary };

    PropertyList() : value_(Dictionary{}) {}  // an empty dictionary
    PropertyList(std::string text) : value_(std::move(text)) {}
    PropertyList(const char* text) : value_(std::string(text)) {}
    PropertyList(std::int64_t number) : value_(number) {}
    PropertyList(int number) : value_(std::int64_t{number}) {}
    PropertyList(double number) : value_(number) {}
    PropertyList(bool flag) : value_(flag) {}
    PropertyList(Date date) : value_(date) {}
    PropertyList(Data bytes) : value_(std::move(bytes)) {}
    PropertyList(Array items) : value_(std::move(items)) {}
    PropertyList(Dictionary entries) : value_(std::move(entries)) {}

    const Value& value() const { return value_; }
    template <typename T>
    bool is() const {
        return std::holds_alternative<T>(value_);
    }
    template <typename T>
    const T* get() const {
        return std::get_if<T>(&value_);
    }
    // The entry under `key` of a dictionary; none for other values or a missing key.
    const PropertyList* find(const std::string& key) const;

    bool operator==(const PropertyList& other) const { return value_ == other.value_; }

    // Serialises the value; the top level may be any kind.
    std::string serialize(Format format) const;
    // Reads XML or binary (told apart by the content). None, with `problem` set, for anything
    // that is not a property list, is larger than `maxBytes` or nests deeper than 64 levels.
    static std::optional<PropertyList> parse(std::string_view bytes, std::string* problem = nullptr,
                                             std::size_t maxBytes = 64 * 1024 * 1024);

    // The settings store's JSON form: data as a JSON binary, a date as {"$date": seconds}, and
    // every dictionary key that starts with "$" with one more "$" in front so it is never
    // mistaken for that tag. JSON null (and anything else with no property-list form) gives none.
    nlohmann::json toJson() const;
    static std::optional<PropertyList> fromJson(const nlohmann::json& json);

    // A short readable text for log lines: texts quoted, data as its length.
    std::string description() const;

  private:
    Value value_;
};

}  // namespace pex
