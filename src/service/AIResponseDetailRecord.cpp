#include "service/AIResponseDetailRecord.h"

#include "service/CodingKeyTable.h"

namespace pex {

namespace {

using Key = AIResponseDetailRecord::CodingKeys;

constexpr CodingKeyTable<Key, 6> kKeys({
    "id",
    "historyId",
    "time",
    "timeStr",
    "aiQuestionText",
    "aiResultText",
});

std::string_view key(Key k) {
    return kKeys.text(k);
}

}  // namespace

std::string_view AIResponseDetailRecord::stringValue(CodingKeys key) {
    return kKeys.text(key);
}

std::optional<AIResponseDetailRecord::CodingKeys> AIResponseDetailRecord::codingKey(
    std::string_view text) {
    return kKeys.key(text);
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
