#pragma once
// One interview of the history database: a row of the table "historyRecord". Field, coding key
// and column share one name.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/grdb/DatabaseRow.h"
#include "platform/grdb/PersistenceContainer.h"
#include "service/HistoryTimeText.h"

namespace pex {

struct HistoryRecord {
    enum class CodingKeys {
        id,
        title,
        timeStr,
        audioFileName,
        sourceLanguage,
        resultLanguage,
        modelType,
        antoAnswerType,
        historyFileName,
        time,
    };
    static std::string_view stringValue(CodingKeys key);
    // The key whose text is exactly `text` (letter case included), if any.
    static std::optional<CodingKeys> codingKey(std::string_view text);

    static constexpr std::string_view databaseTableName = "historyRecord";

    // The interview's start time in whole seconds since 1970; also its row id.
    std::optional<std::int64_t> id{};
    std::string title{};
    // Start time in seconds since 1970 with fraction; the history list's sort key.
    double timeStr = 0;
    std::string audioFileName{};
    std::optional<std::string> sourceLanguage{};
    std::optional<std::string> resultLanguage{};
    std::int64_t modelType = 0;
    std::int64_t antoAnswerType = 0;
    // The name shown in the history list and matched by its search.
    std::optional<std::string> historyFileName{};
    std::string time = historyTimeTextNow();

    // Writes every field under its key; absent fields as NULL.
    void encode(PersistenceContainer& container) const;
    // Reads every field by its key; check `row.error()` before using the result.
    static HistoryRecord decode(DatabaseRow& row);

    bool operator==(const HistoryRecord&) const = default;
};

}  // namespace pex
