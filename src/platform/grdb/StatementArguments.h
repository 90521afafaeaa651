#pragma once
// The values bound to a prepared statement's placeholders: either positional ("?", in order)
// or named (":name"). Values are always bound, never spliced into the statement's text.
#include <string>
#include <utility>
#include <vector>

#include "platform/grdb/DatabaseValue.h"

namespace pex {

struct StatementArguments {
    std::vector<DatabaseValue> positional;
    // Names without their ":" prefix.
    std::vector<std::pair<std::string, DatabaseValue>> named;

    StatementArguments() = default;
    StatementArguments(std::initializer_list<DatabaseValue> values) : positional(values) {}

    static StatementArguments withNames(std::vector<std::pair<std::string, DatabaseValue>> values) {
        StatementArguments arguments;
        arguments.named = std::move(values);
        return arguments;
    }
};

}  // namespace pex
