#include "service/LanguageListModel.h"

#include <utility>

#include "service/DefaultsKey.h"
#include "service/JsonFields.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

// The keys of the stored form, which the lenient reader reads too.
constexpr std::tuple kFields{
    fields::field("ID", &LanguageListModel::ID),
    fields::field("name", &LanguageListModel::name),
    fields::field("original_key", &LanguageListModel::original_key),
    fields::field("translation_key", &LanguageListModel::translation_key),
    fields::field("first_letters", &LanguageListModel::first_letters),
};

}  // namespace

LanguageListModel LanguageListModel::fromJSON(const nlohmann::json& json) {
    return fields::readLenient(json, kFields);
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
    json = fields::encode(model, kFields);
}

void from_json(const nlohmann::json& json, LanguageListModel& model) {
    model = fields::decode(json, "language", kFields);
}

}  // namespace pex
