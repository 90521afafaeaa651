#pragma once
// One language the service offers for interviews, and the three language choices kept in the
// settings store.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/SettingsKeys.h"

namespace pex {

struct LanguageListModel {
    // The settings keys of the three choices, in the order the setup page fills them.
    static constexpr const char* kChinaKey =
        SettingsKeys::aiLangChinaModel;  // the Chinese language record
    static constexpr const char* kLeftKey = SettingsKeys::aiLangLeftModel;  // the language heard
    static constexpr const char* kRightKey =
        SettingsKeys::aiLangRightModel;  // the language translated into

    std::int64_t ID = 0;
    std::string name;             // "中文（简体）"
    std::string original_key;     // spoken-language code, "zh-CN"
    std::string translation_key;  // translation-target code, "zh-Hans"
    std::string first_letters;    // initial of the romanised name, "Z"

    // Lenient reader: missing or null keys give 0 or "", a number where text is expected gives
    // its decimal text. Cannot fail.
    static LanguageListModel fromJSON(const nlohmann::json& json);
    // The languages of a "/language/list" reply's "data", in reply order; anything but an array
    // gives an empty list.
    static std::vector<LanguageListModel> listFromData(const nlohmann::json& data);

    // Defaults written into a choice's key while it holds nothing.
    static LanguageListModel defaultLeft();   // 128 中文（简体）
    static LanguageListModel defaultRight();  // 135 英语（美国）
    static LanguageListModel defaultChina();  // same as defaultLeft

    // Writes the default into each of the three keys that holds no readable record, in the
    // order China, Left, Right; a key holding a record is left as it is.
    static void storeDefaultsWhereMissing();

    bool operator==(const LanguageListModel&) const = default;
};

// Stored form: the five keys, "ID" a number and the rest strings; decoding is strict.
void to_json(nlohmann::json& json, const LanguageListModel& model);
void from_json(const nlohmann::json& json, LanguageListModel& model);

}  // namespace pex
