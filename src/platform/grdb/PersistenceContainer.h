#pragma once
// The row a record writes: its columns in the record's field order, each under the key text
// that names its column. A record fills it from its `encode`; an absent field is NULL.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/grdb/DatabaseValue.h"

namespace pex {

class PersistenceContainer {
  public:
    void encode(std::string_view key, std::int64_t value) { add(key, value); }
    void encode(std::string_view key, double value) { add(key, value); }
    void encode(std::string_view key, const std::string& value) { add(key, value); }
    void encodeIfPresent(std::string_view key, const std::optional<std::int64_t>& value) {
        add(key, databaseValue(value));
    }
    void encodeIfPresent(std::string_view key, const std::optional<std::string>& value) {
        add(key, databaseValue(value));
    }

    const std::vector<std::pair<std::string_view, DatabaseValue>>& columns() const {
        return columns_;
    }

  private:
    void add(std::string_view key, DatabaseValue value) {
        columns_.emplace_back(key, std::move(value));
    }

    // Keys are the records' own static key texts, so views stay valid.
    std::vector<std::pair<std::string_view, DatabaseValue>> columns_;
};

}  // namespace pex
