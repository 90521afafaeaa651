#pragma once
// One question and its answer stored on their own (manual answer mode): a row of the table
// "aiResponseDetailRecord".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/grdb/DatabaseRow.h"
#include "platform/grdb/PersistenceContainer.h"
#include "service/HistoryTimeText.h"

namespace pex {

struct AIResponseDetailRecord {
    enum class CodingKeys {
        id,
        historyId,
        time,
        timeStr,
        aiQuestionText,
        aiResultText,
    };
    static std::string_view stringValue(CodingKeys key);
    static std::optional<CodingKeys> codingKey(std::string_view text);

    static constexpr std::string_view databaseTableName = "aiResponseDetailRecord";

    // Absent when inserted: the database assigns the row id.
    std::optional<std::int64_t> id{};
    std::int64_t historyId = 0;
    std::string time = historyTimeTextNow();
    // When the answer was stored, seconds since 1970 with fraction; the order of the rows.
    double timeStr = 0;
    std::string aiQuestionText{};
    std::string aiResultText{};

    void encode(PersistenceContainer& container) const;
    static AIResponseDetailRecord decode(DatabaseRow& row);

    bool operator==(const AIResponseDetailRecord&) const = default;
};

}  // namespace pex
