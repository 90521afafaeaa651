#pragma once
// One transcript line of an interview, with the answer streamed for it in automatic answer
// mode: a row of the table "translationDetailRecord".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/grdb/DatabaseRow.h"
#include "platform/grdb/PersistenceContainer.h"
#include "service/HistoryTimeText.h"

namespace pex {

struct TranslationDetailRecord {
    enum class CodingKeys {
        id,
        historyId,
        time,
        timeStr,
        sourceText,
        resultText,
        sourceColor,
        resultColor,
        streamID,
        aiResultText,
        startTime,
        endTime,
    };
    static std::string_view stringValue(CodingKeys key);
    static std::optional<CodingKeys> codingKey(std::string_view text);

    static constexpr std::string_view databaseTableName = "translationDetailRecord";

    // Absent when inserted: the database assigns the row id.
    std::optional<std::int64_t> id{};
    std::int64_t historyId = 0;
    std::string time = historyTimeTextNow();
    // When the line was stored, seconds since 1970 with fraction; the order of the lines.
    double timeStr = 0;
    std::string sourceText{};
    std::string resultText{};
    std::string sourceColor{};
    std::string resultColor{};
    // The answer stream that answers this line.
    std::int64_t streamID = 0;
    std::string aiResultText{};
    std::int64_t startTime = 0;
    std::int64_t endTime = 0;

    void encode(PersistenceContainer& container) const;
    static TranslationDetailRecord decode(DatabaseRow& row);

    bool operator==(const TranslationDetailRecord&) const = default;
};

}  // namespace pex
