#pragma once
// The reply envelope, as the login window and the top bar read whole replies.
#include <cstdint>
#include <optional>
#include <string>

#include "service/CountryListModel.h"
#include "service/ReplyMapper.h"

namespace pex {

struct BaseNetModel {
    std::optional<CountryListModel> data;
    std::int64_t code = 0;
    std::optional<std::string> message;

    void mapping(ReplyMapper& map) {
        map.model("data", data);
        map.integer("code", code);
        map.text("message", message);
    }
    bool operator==(const BaseNetModel&) const = default;
};

}  // namespace pex
