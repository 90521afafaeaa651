#pragma once
// One line of a live interview transcript in memory, and a comment attached to a line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

struct TranslationHistoryDetailsCommnetModel {
    std::string commentText;
    std::string timeText;
    std::optional<std::int64_t> time;
    std::int64_t index = 0;
    std::optional<std::int64_t> cellIndex;

    bool operator==(const TranslationHistoryDetailsCommnetModel&) const = default;
};

struct PXTranslationHistoryDetailsModel {
    // A new line: `time` is the current local date and time, "yyyy-MM-dd HH:mm:ss".
    PXTranslationHistoryDetailsModel();

    std::string time;
    double timeStr = 0;  // seconds since 1970; the interview flow keeps 0
    std::string sourceText;
    std::string resultText;
    std::string sourceColor = "#f9f9f9";
    std::string resultColor = "#f9f9f9";
    std::optional<std::int64_t> tagArea;
    std::optional<std::int64_t> start;    // session second at which the sentence began
    std::optional<std::int64_t> end = 0;  // session second at which it was finished
    std::optional<std::vector<std::string>> images = std::vector<std::string>{};
    std::int64_t font = 14;
    bool isPIP = false;
    bool isComment = false;
    std::vector<TranslationHistoryDetailsCommnetModel> commentList;
    std::optional<std::int64_t> segId;
    std::optional<std::string> isShowIndex;
    std::int64_t index = 0;
    std::int64_t surperIndex = 0;
    bool isCollect = false;
    bool isMine = true;
    bool isOne = true;
    std::int64_t streamID = 0;  // the answer stream whose text belongs to this line

    bool operator==(const PXTranslationHistoryDetailsModel&) const = default;
};

// JSON form, keys equal to the field names. Encoding leaves out optional fields that hold
// nothing; decoding needs every other field with its JSON type, takes none for a missing or
// null optional field, and never falls back to a default.
void to_json(nlohmann::json& json, const TranslationHistoryDetailsCommnetModel& model);
void from_json(const nlohmann::json& json, TranslationHistoryDetailsCommnetModel& model);
void to_json(nlohmann::json& json, const PXTranslationHistoryDetailsModel& model);
void from_json(const nlohmann::json& json, PXTranslationHistoryDetailsModel& model);

}  // namespace pex
