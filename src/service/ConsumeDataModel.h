#pragma once
// The "data" of "/consume/page": one page of consumption records.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/ReplyMapper.h"

namespace pex {

struct ConsumeModel {
    std::optional<std::string> function;  // title of the row
    std::int64_t time_package = 0;        // seconds used
    std::int64_t duration = 0;
    std::optional<std::string> created_at;  // ISO 8601 time text

    void mapping(ReplyMapper& map) {
        map.text("function", function);
        map.integer("time_package", time_package);
        map.integer("duration", duration);
        map.text("created_at", created_at);
    }
    bool operator==(const ConsumeModel&) const = default;
};

struct ConsumeDataModel {
    std::optional<std::vector<ConsumeModel>> data;
    std::int64_t total = 0;

    void mapping(ReplyMapper& map) {
        map.models("data", data);
        map.integer("total", total);
    }
    bool operator==(const ConsumeDataModel&) const = default;
};

}  // namespace pex
