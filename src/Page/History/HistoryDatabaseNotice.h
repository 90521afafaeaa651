#pragma once
// What the user is told when the history database could not be used as it was: a damaged file
// kept aside with a fresh one in its place, or no database at all for this run.
#include <QString>
#include <optional>

#include "service/GRDBDataManager.h"

namespace pex {

struct HistoryDatabaseNotice {
    QString title;
    QString text;

    // None when the database opened as it should.
    static std::optional<HistoryDatabaseNotice> about(
        const std::optional<GRDBDataManager::OpeningProblem>& problem);
};

}  // namespace pex
