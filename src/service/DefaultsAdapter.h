#pragma once
// Typed access to a settings store through DefaultsKey<T>. Two bridges decide how a value is
// stored:
//   - integers (DefaultsKey<int>, <std::int64_t> ...): a plain number; a stored value that is
//     not a number, or does not fit T, reads as absent;
//   - every other type is a record: it is converted with nlohmann's to_json/from_json and
//     stored as data holding its compact JSON text. A stored value that is not data, data
//     that is not JSON, or JSON that from_json rejects reads as absent. Decoding is as strict
//     as the record's from_json (use json::at for required fields).
// Writing an absent value removes the key.
#include <concepts>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "platform/foundation/UserDefaults.h"
#include "service/DefaultsKey.h"

namespace pex {

template <typename T>
concept DefaultsInteger = std::integral<T> && !std::same_as<T, bool>;

class DefaultsAdapter {
  public:
    // `store` must outlive the adapter.
    explicit DefaultsAdapter(UserDefaults& store) : store_(store) {}
    // The adapter over the standard store.
    static DefaultsAdapter& shared();
    UserDefaults& store() const { return store_; }

    template <typename T>
    std::optional<T> get(const DefaultsKey<T>& key) const {
        static_assert(!std::is_same_v<T, bool>, "Booleans are plain keys: UserDefaults::boolean");
        if constexpr (DefaultsInteger<T>) {
            auto number = store_.integer(key.key());
            if (!number || !fits<T>(*number)) return std::nullopt;
            return static_cast<T>(*number);
        } else {
            auto json = readJsonData(key.key());
            if (!json) return std::nullopt;
            try {
                return json->template get<T>();
            } catch (const std::exception&) {
                return std::nullopt;  // stored under an older or different shape
            }
        }
    }

    template <typename T>
    void set(const DefaultsKey<T>& key, const std::optional<T>& value) {
        static_assert(!std::is_same_v<T, bool>, "Booleans are plain keys: UserDefaults::set");
        if (!value) {
            store_.remove(key.key());
        } else if constexpr (DefaultsInteger<T>) {
            store_.set(key.key(), static_cast<std::int64_t>(*value));
        } else {
            writeJsonData(key.key(), nlohmann::json(*value));
        }
    }

    template <typename T>
    void remove(const DefaultsKey<T>& key) {
        store_.remove(key.key());
    }

    template <typename T>
    bool hasKey(const DefaultsKey<T>& key) const {
        return store_.contains(key.key());
    }

  private:
    template <typename T>
    static bool fits(std::int64_t number) {
        if constexpr (std::is_signed_v<T>) {
            return number >= std::numeric_limits<T>::min() &&
                   number <= std::numeric_limits<T>::max();
        } else {
            return number >= 0 &&
                   static_cast<std::uint64_t>(number) <= std::numeric_limits<T>::max();
        }
    }

    std::optional<nlohmann::json> readJsonData(const std::string& key) const;
    void writeJsonData(const std::string& key, const nlohmann::json& value);

    UserDefaults& store_;
};

// The shared adapter, as the settings code calls it: Defaults().get(key).
inline DefaultsAdapter& Defaults() {
    return DefaultsAdapter::shared();
}

}  // namespace pex
