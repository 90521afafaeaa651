#pragma once
// One list of a record's JSON keys and the fields they fill, from which the record's stored
// form is written and read back strictly and, for records that also come from the service, its
// lenient reader reads. Naming each key once keeps the three ways in step.
//
//     constexpr std::tuple kFields{fields::field("ID", &LanguageListModel::ID),
//                                  fields::field("name", &LanguageListModel::name)};
//     json = fields::encode(model, kFields);
//     model = fields::decode(json, "language", kFields);
//
// A field is read the way its type asks (see StrictJson.h and LenientJson.h): a text, a whole
// number, a real number, a Boolean, one of these optional, a list of texts, a nested record
// (optional) or a list of nested records. Optional fields that hold nothing are not written.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/LenientJson.h"
#include "service/StrictJson.h"

namespace pex::fields {

template <typename Record, typename Value>
struct Field {
    const char* key;
    Value Record::*member;
};

template <typename Record, typename Value>
constexpr Field<Record, Value> field(const char* key, Value Record::*member) {
    return {key, member};
}

namespace detail {

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};

template <typename Value>
void write(nlohmann::json& object, const char* key, const Value& value) {
    if constexpr (IsOptional<Value>::value) {
        strict::putOptional(object, key, value);
    } else {
        object[key] = value;
    }
}

template <typename Value>
Value readStrict(const nlohmann::json& object, const char* key) {
    if constexpr (std::is_same_v<Value, std::string>) {
        return strict::text(object, key);
    } else if constexpr (std::is_same_v<Value, std::int64_t>) {
        return strict::integer(object, key);
    } else if constexpr (std::is_same_v<Value, double>) {
        return strict::real(object, key);
    } else if constexpr (std::is_same_v<Value, bool>) {
        return strict::flag(object, key);
    } else if constexpr (std::is_same_v<Value, std::optional<std::string>>) {
        return strict::optionalText(object, key);
    } else if constexpr (std::is_same_v<Value, std::optional<std::int64_t>>) {
        return strict::optionalInteger(object, key);
    } else if constexpr (std::is_same_v<Value, std::optional<std::vector<std::string>>>) {
        return strict::optionalTexts(object, key);
    } else if constexpr (IsOptional<Value>::value) {
        // A nested record, read by its own from_json.
        const nlohmann::json* value = strict::present(object, key);
        if (!value) return std::nullopt;
        return value->get<typename Value::value_type>();
    } else {
        static_assert(IsVector<Value>::value, "no strict reading for this field type");
        return strict::records<typename Value::value_type>(object, key);
    }
}

template <typename Value>
Value readLenient(const nlohmann::json& object, const char* key) {
    if constexpr (std::is_same_v<Value, std::string>) {
        return lenient::text(object, key);
    } else if constexpr (std::is_same_v<Value, std::int64_t>) {
        return lenient::integer(object, key);
    } else {
        // A nested record: always there, read by its own lenient reader from whatever the key
        // holds (null when missing).
        static_assert(IsOptional<Value>::value, "no lenient reading for this field type");
        return Value::value_type::fromJSON(lenient::field(object, key));
    }
}

template <typename Record, typename Value>
void encodeField(nlohmann::json& object, const Record& record, const Field<Record, Value>& f) {
    write(object, f.key, record.*(f.member));
}

template <typename Record, typename Value>
void decodeField(Record& record, const nlohmann::json& object, const Field<Record, Value>& f) {
    record.*(f.member) = readStrict<Value>(object, f.key);
}

template <typename Record, typename Value>
void readFieldLeniently(Record& record, const nlohmann::json& object,
                        const Field<Record, Value>& f) {
    record.*(f.member) = readLenient<Value>(object, f.key);
}

}  // namespace detail

// The record's stored form: a JSON object with every field under its key.
template <typename Record, typename... Values>
nlohmann::json encode(const Record& record, const std::tuple<Field<Record, Values>...>& fields) {
    nlohmann::json object = nlohmann::json::object();
    std::apply([&](const auto&... f) { (detail::encodeField(object, record, f), ...); }, fields);
    return object;
}

// Reads a stored form strictly, the fields in list order; throws nlohmann's json exceptions on
// the first mismatch. `what` names the record in the message when the value is no object.
template <typename Record, typename... Values>
Record decode(const nlohmann::json& object, std::string_view what,
              const std::tuple<Field<Record, Values>...>& fields) {
    strict::requireObject(object, what);
    Record record;
    std::apply([&](const auto&... f) { (detail::decodeField(record, object, f), ...); }, fields);
    return record;
}

// Reads service JSON leniently; never fails.
template <typename Record, typename... Values>
Record readLenient(const nlohmann::json& object,
                   const std::tuple<Field<Record, Values>...>& fields) {
    Record record;
    std::apply([&](const auto&... f) { (detail::readFieldLeniently(record, object, f), ...); },
               fields);
    return record;
}

}  // namespace pex::fields
