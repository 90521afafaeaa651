#include "service/AIResponseDetailRecord.h"

namespace pex {

namespace {

constexpr std::array<std::string_view, 6> kKeyTexts = {
    "id", "historyId", "time", "timeStr", "aiQuestionText", "aiResultText",
};

using Key = AIResponseDetailRecord::CodingKeys;

std::string_view key(Key k) {
    return AIResponseDetailRecord::stringValue(k);
}

}  // namespace

std::string_view AIResponseDetailRecord::stringValue(CodingKeys key) {
    return kKeyTexts[static_cast<std::size_t>(key)];
}

std::optional<AIResponseDetailRecord::CodingKeys> AIResponseDetailRecord::codingKey(
    std::string_view text) {
    for (std::size_t i = 0; i < kKeyTexts.size(); ++i) {
        if (kKeyTexts[i] == text) return static_cast<CodingKeys>(i);
    }
    return std::nullopt;
}

void AIResponseDetailRecord::encode(PersistenceContainer& container) const {
    container.encodeIfPresent(key(Key::id), id);
    container.encode(key(Key::historyId), historyId);
    container.encode(key(Key::time), time);
    container.encode(key(Key::timeStr), timeStr);
    container.encode(key(Key::aiQuestionText), aiQuestionText);
    container.encode(key(Key::aiResultText), aiResultText);
}

AIResponseDetailRecord AIResponseDetailRecord::decode(DatabaseRow& row) {
    return AIResponseDetailRecord{
        .id = row.decodeInt64IfPresent(key(Key::id)),
        .historyId = row.decodeInt64(key(Key::historyId)),
        .time = row.decodeString(key(Key::time)),
        .timeStr = row.decodeDouble(key(Key::timeStr)),
        .aiQuestionText = row.decodeString(key(Key::aiQuestionText)),
        .aiResultText = row.decodeString(key(Key::aiResultText)),
    };
}

}  // namespace pex
