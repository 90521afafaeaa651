#include "service/HistoryRecord.h"

#include "service/CodingKeyTable.h"

namespace pex {

namespace {

using Key = HistoryRecord::CodingKeys;

constexpr CodingKeyTable<Key, 10> kKeys({
    "id",
    "title",
    "timeStr",
    "audioFileName",
    "sourceLanguage",
    "resultLanguage",
    "modelType",
    "antoAnswerType",
    "historyFileName",
    "time",
});

std::string_view key(Key k) {
    return kKeys.text(k);
}

}  // namespace

std::string_view HistoryRecord::stringValue(CodingKeys key) {
    return kKeys.text(key);
}

std::optional<HistoryRecord::CodingKeys> HistoryRecord::codingKey(std::string_view text) {
    return kKeys.key(text);
}

void HistoryRecord::encode(PersistenceContainer& container) const {
    container.encodeIfPresent(key(Key::id), id);
    container.encode(key(Key::title), title);
    container.encode(key(Key::timeStr), timeStr);
    container.encode(key(Key::audioFileName), audioFileName);
    container.encodeIfPresent(key(Key::sourceLanguage), sourceLanguage);
    container.encodeIfPresent(key(Key::resultLanguage), resultLanguage);
    container.encode(key(Key::modelType), modelType);
    container.encode(key(Key::antoAnswerType), antoAnswerType);
    container.encodeIfPresent(key(Key::historyFileName), historyFileName);
    container.encode(key(Key::time), time);
}

HistoryRecord HistoryRecord::decode(DatabaseRow& row) {
    // Every field is given, so the default `time` is never computed for a decoded record.
    return HistoryRecord{
        .id = row.decodeInt64IfPresent(key(Key::id)),
        .title = row.decodeString(key(Key::title)),
        .timeStr = row.decodeDouble(key(Key::timeStr)),
        .audioFileName = row.decodeString(key(Key::audioFileName)),
        .sourceLanguage = row.decodeStringIfPresent(key(Key::sourceLanguage)),
        .resultLanguage = row.decodeStringIfPresent(key(Key::resultLanguage)),
        .modelType = row.decodeInt64(key(Key::modelType)),
        .antoAnswerType = row.decodeInt64(key(Key::antoAnswerType)),
        .historyFileName = row.decodeStringIfPresent(key(Key::historyFileName)),
        .time = row.decodeString(key(Key::time)),
    };
}

}  // namespace pex
