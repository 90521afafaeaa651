#include "service/TranslationDetailRecord.h"

#include "service/CodingKeyTable.h"

namespace pex {

namespace {

using Key = TranslationDetailRecord::CodingKeys;

constexpr CodingKeyTable<Key, 12> kKeys({
    "id",
    "historyId",
    "time",
    "timeStr",
    "sourceText",
    "resultText",
    "sourceColor",
    "resultColor",
    "streamID",
    "aiResultText",
    "startTime",
    "endTime",
});

std::string_view key(Key k) {
    return kKeys.text(k);
}

}  // namespace

std::string_view TranslationDetailRecord::stringValue(CodingKeys key) {
    return kKeys.text(key);
}

std::optional<TranslationDetailRecord::CodingKeys> TranslationDetailRecord::codingKey(
    std::string_view text) {
    return kKeys.key(text);
}

void TranslationDetailRecord::encode(PersistenceContainer& container) const {
    container.encodeIfPresent(key(Key::id), id);
    container.encode(key(Key::historyId), historyId);
    container.encode(key(Key::time), time);
    container.encode(key(Key::timeStr), timeStr);
    container.encode(key(Key::sourceText), sourceText);
    container.encode(key(Key::resultText), resultText);
    container.encode(key(Key::sourceColor), sourceColor);
    container.encode(key(Key::resultColor), resultColor);
    container.encode(key(Key::streamID), streamID);
    container.encode(key(Key::aiResultText), aiResultText);
    container.encode(key(Key::startTime), startTime);
    container.encode(key(Key::endTime), endTime);
}

TranslationDetailRecord TranslationDetailRecord::decode(DatabaseRow& row) {
    return TranslationDetailRecord{
        .id = row.decodeInt64IfPresent(key(Key::id)),
        .historyId = row.decodeInt64(key(Key::historyId)),
        .time = row.decodeString(key(Key::time)),
        .timeStr = row.decodeDouble(key(Key::timeStr)),
        .sourceText = row.decodeString(key(Key::sourceText)),
        .resultText = row.decodeString(key(Key::resultText)),
        .sourceColor = row.decodeString(key(Key::sourceColor)),
        .resultColor = row.decodeString(key(Key::resultColor)),
        .streamID = row.decodeInt64(key(Key::streamID)),
        .aiResultText = row.decodeString(key(Key::aiResultText)),
        .startTime = row.decodeInt64(key(Key::startTime)),
        .endTime = row.decodeInt64(key(Key::endTime)),
    };
}

}  // namespace pex
