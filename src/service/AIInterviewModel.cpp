#include "service/AIInterviewModel.h"

#include <charconv>

#include "service/JsonFields.h"

namespace pex {

namespace {

// The keys of the stored form, which the lenient reader reads too.
constexpr std::tuple kFields{
    fields::field("positioname", &AIInterviewModel::positioname),
    fields::field("modelType", &AIInterviewModel::modelType),
    fields::field("antoAnswerType", &AIInterviewModel::antoAnswerType),
    fields::field("generateAnswerType", &AIInterviewModel::generateAnswerType),
    fields::field("deviceType", &AIInterviewModel::deviceType),
    fields::field("answerFontSize", &AIInterviewModel::answerFontSize),
    fields::field("sequenceType", &AIInterviewModel::sequenceType),
};

}  // namespace

AIInterviewModel AIInterviewModel::fromJSON(const nlohmann::json& json) {
    AIInterviewModel model = fields::readLenient(json, kFields);
    // The service's value is never taken: prompts start below.
    model.sequenceType = 0;
    return model;
}

AIInterviewModel AIInterviewModel::defaultRecord() {
    return fromJSON({{"positioname", ""},
                     {"modelType", 0},
                     {"antoAnswerType", 0},
                     {"generateAnswerType", 0},
                     {"deviceType", 0},
                     {"answerFontSize", 14},
                     {"sequenceType", 0}});
}

std::int64_t AIInterviewModel::modelTypeFor(std::string_view option) {
    return option == "是" ? 0 : 1;
}

std::int64_t AIInterviewModel::antoAnswerTypeFor(std::string_view option) {
    return option == "自动生成" ? 0 : 1;
}

std::int64_t AIInterviewModel::generateAnswerTypeFor(std::string_view option) {
    if (option == "口语化短句(易读 地道)") return 0;
    if (option == "正式长难句(专业 深度)") return 1;
    if (option == "关键词模式(推荐 自然)") return 2;
    return 0;
}

std::int64_t AIInterviewModel::deviceTypeFor(std::string_view option) {
    return option == "麦克风声音" ? 0 : 1;
}

std::int64_t AIInterviewModel::answerFontSizeFor(std::string_view option) {
    // Only a plain whole number counts; anything else falls back to 16.
    std::int64_t size = 0;
    const char* end = option.data() + option.size();
    const auto [parsedEnd, error] = std::from_chars(option.data(), end, size);
    if (option.empty() || error != std::errc() || parsedEnd != end) return 16;
    return size;
}

std::int64_t AIInterviewModel::sequenceTypeFor(std::string_view option) {
    return option == "提示在下" ? 0 : 1;
}

void to_json(nlohmann::json& json, const AIInterviewModel& model) {
    json = fields::encode(model, kFields);
}

void from_json(const nlohmann::json& json, AIInterviewModel& model) {
    model = fields::decode(json, "interview settings", kFields);
}

}  // namespace pex
