#pragma once
// The "data" of "/operation/version".
#include <cstdint>
#include <optional>
#include <string>

#include "service/ReplyMapper.h"

namespace pex {

struct CheckVersionModel {
    std::int64_t build = 1;
    std::optional<std::string> version;  // compared with min_version
    std::optional<std::string> content;  // text of the update alert
    std::optional<std::string> package_value;
    std::int64_t min_build = 1;
    std::optional<std::string> min_version;
    std::int64_t is_force = 0;

    void mapping(ReplyMapper& map) {
        map.integer("build", build);
        map.text("version", version);
        map.text("content", content);
        map.text("package_value", package_value);
        map.integer("min_build", min_build);
        map.text("min_version", min_version);
        map.integer("is_force", is_force);
    }
    bool operator==(const CheckVersionModel&) const = default;
};

}  // namespace pex
