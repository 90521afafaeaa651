#include "service/LanguageListModel.h"

#include <utility>

#include "service/DefaultsKey.h"
#include "service/LenientJson.h"
#include "service/SettingsStore.h"
#include "service/StrictJson.h"

namespace pex {

LanguageListModel LanguageListModel::fromJSON(const nlohmann::json& json) {
    LanguageListModel model;
    model.ID = lenient::integer(json, "ID");
    model.name = lenient::text(json, "name");
    model.original_key = lenient::text(json, "original_key");
    model.translation_key = lenient::text(json, "translation_key");
    model.first_letters = lenient::text(json, "first_letters");
    return model;
}

std::vector<LanguageListModel> LanguageListModel::listFromData(const nlohmann::json& data) {
    std::vector<LanguageListModel> list;
    if (!data.is_array()) return list;
    list.reserve(data.size());
    for (const auto& element : data) list.push_back(fromJSON(element));
    return list;
}

LanguageListModel LanguageListModel::defaultLeft() {
    return fromJSON({{"ID", 128},
                     {"name", "中文（简体）"},
                     {"original_key", "zh-CN"},
                     {"translation_key", "zh-Hans"},
                     {"first_letters", "Z"}});
}

LanguageListModel LanguageListModel::defaultRight() {
    return fromJSON({{"ID", 135},
                     {"name", "英语（美国）"},
                     {"original_key", "en-US"},
                     {"translation_key", "en"},
                     {"first_letters", "Y"}});
}

LanguageListModel LanguageListModel::defaultChina() {
    return defaultLeft();
}

void LanguageListModel::storeDefaultsWhereMissing() {
    const std::pair<const char*, LanguageListModel (*)()> choices[] = {
        {kChinaKey, &defaultChina}, {kLeftKey, &defaultLeft}, {kRightKey, &defaultRight}};
    for (const auto& [key, makeDefault] : choices) {
        const DefaultsKey<LanguageListModel> typedKey(key);
        if (!SettingsStore::record(typedKey))
            SettingsStore::setRecord(std::optional(makeDefault()), typedKey);
    }
}

void to_json(nlohmann::json& json, const LanguageListModel& model) {
    json = {{"ID", model.ID},
            {"name", model.name},
            {"original_key", model.original_key},
            {"translation_key", model.translation_key},
            {"first_letters", model.first_letters}};
}

void from_json(const nlohmann::json& json, LanguageListModel& model) {
    strict::requireObject(json, "language");
    LanguageListModel decoded;
    decoded.ID = strict::integer(json, "ID");
    decoded.name = strict::text(json, "name");
    decoded.original_key = strict::text(json, "original_key");
    decoded.translation_key = strict::text(json, "translation_key");
    decoded.first_letters = strict::text(json, "first_letters");
    model = std::move(decoded);
}

}  // namespace pex
