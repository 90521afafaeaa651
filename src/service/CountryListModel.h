#pragma once
// One country of the "/country/list" reply's "data" array.
#include <optional>
#include <string>

#include "service/ReplyMapper.h"

namespace pex {

struct CountryListModel {
    std::optional<std::string> code;
    std::optional<std::string> name_en;       // English name
    std::optional<std::string> country_code;  // calling code; the list's search matches it
    std::optional<std::string> first_letters;
    std::optional<std::string> name_zn;  // Chinese name; the list's search matches it

    void mapping(ReplyMapper& map) {
        map.text("code", code);
        map.text("name_en", name_en);
        map.text("country_code", country_code);
        map.text("first_letters", first_letters);
        map.text("name_zn", name_zn);
    }
    bool operator==(const CountryListModel&) const = default;
};

}  // namespace pex
