#include "service/PXTranslationHistoryDetailsModel.h"

#include <chrono>

#include "service/DateHelpers.h"
#include "service/JsonFields.h"

namespace pex {

namespace {

double nowSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

using Comment = TranslationHistoryDetailsCommnetModel;
using Line = PXTranslationHistoryDetailsModel;

constexpr std::tuple kCommentFields{
    fields::field("commentText", &Comment::commentText),
    fields::field("timeText", &Comment::timeText),
    fields::field("time", &Comment::time),
    fields::field("index", &Comment::index),
    fields::field("cellIndex", &Comment::cellIndex),
};

constexpr std::tuple kLineFields{
    fields::field("time", &Line::time),
    fields::field("timeStr", &Line::timeStr),
    fields::field("sourceText", &Line::sourceText),
    fields::field("resultText", &Line::resultText),
    fields::field("sourceColor", &Line::sourceColor),
    fields::field("resultColor", &Line::resultColor),
    fields::field("tagArea", &Line::tagArea),
    fields::field("start", &Line::start),
    fields::field("end", &Line::end),
    fields::field("images", &Line::images),
    fields::field("font", &Line::font),
    fields::field("isPIP", &Line::isPIP),
    fields::field("isComment", &Line::isComment),
    fields::field("commentList", &Line::commentList),
    fields::field("segId", &Line::segId),
    fields::field("isShowIndex", &Line::isShowIndex),
    fields::field("index", &Line::index),
    fields::field("surperIndex", &Line::surperIndex),
    fields::field("isCollect", &Line::isCollect),
    fields::field("isMine", &Line::isMine),
    fields::field("isOne", &Line::isOne),
    fields::field("streamID", &Line::streamID),
};

}  // namespace

PXTranslationHistoryDetailsModel::PXTranslationHistoryDetailsModel()
    : time(formatLocalDate(nowSince1970(), "yyyy-MM-dd HH:mm:ss")) {}

void to_json(nlohmann::json& json, const TranslationHistoryDetailsCommnetModel& model) {
    json = fields::encode(model, kCommentFields);
}

void from_json(const nlohmann::json& json, TranslationHistoryDetailsCommnetModel& model) {
    model = fields::decode(json, "comment", kCommentFields);
}

void to_json(nlohmann::json& json, const PXTranslationHistoryDetailsModel& model) {
    json = fields::encode(model, kLineFields);
}

void from_json(const nlohmann::json& json, PXTranslationHistoryDetailsModel& model) {
    model = fields::decode(json, "transcript line", kLineFields);
}

}  // namespace pex
