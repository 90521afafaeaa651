#include "service/PXTranslationHistoryDetailsModel.h"

#include <chrono>

#include "service/DateHelpers.h"
#include "service/StrictJson.h"

namespace pex {

namespace {

double nowSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

PXTranslationHistoryDetailsModel::PXTranslationHistoryDetailsModel()
    : time(formatLocalDate(nowSince1970(), "yyyy-MM-dd HH:mm:ss")) {}

void to_json(nlohmann::json& json, const TranslationHistoryDetailsCommnetModel& model) {
    json = {
        {"commentText", model.commentText}, {"timeText", model.timeText}, {"index", model.index}};
    strict::putOptional(json, "time", model.time);
    strict::putOptional(json, "cellIndex", model.cellIndex);
}

void from_json(const nlohmann::json& json, TranslationHistoryDetailsCommnetModel& model) {
    strict::requireObject(json, "comment");
    TranslationHistoryDetailsCommnetModel decoded;
    decoded.commentText = strict::text(json, "commentText");
    decoded.timeText = strict::text(json, "timeText");
    decoded.time = strict::optionalInteger(json, "time");
    decoded.index = strict::integer(json, "index");
    decoded.cellIndex = strict::optionalInteger(json, "cellIndex");
    model = std::move(decoded);
}

void to_json(nlohmann::json& json, const PXTranslationHistoryDetailsModel& model) {
    json = nlohmann::json::object();
    json["time"] = model.time;
    json["timeStr"] = model.timeStr;
    json["sourceText"] = model.sourceText;
    json["resultText"] = model.resultText;
    json["sourceColor"] = model.sourceColor;
    json["resultColor"] = model.resultColor;
    strict::putOptional(json, "tagArea", model.tagArea);
    strict::putOptional(json, "start", model.start);
    strict::putOptional(json, "end", model.end);
    strict::putOptional(json, "images", model.images);
    json["font"] = model.font;
    json["isPIP"] = model.isPIP;
    json["isComment"] = model.isComment;
    json["commentList"] = model.commentList;
    strict::putOptional(json, "segId", model.segId);
    strict::putOptional(json, "isShowIndex", model.isShowIndex);
    json["index"] = model.index;
    json["surperIndex"] = model.surperIndex;
    json["isCollect"] = model.isCollect;
    json["isMine"] = model.isMine;
    json["isOne"] = model.isOne;
    json["streamID"] = model.streamID;
}

void from_json(const nlohmann::json& json, PXTranslationHistoryDetailsModel& model) {
    strict::requireObject(json, "transcript line");
    PXTranslationHistoryDetailsModel decoded;
    decoded.time = strict::text(json, "time");
    decoded.timeStr = strict::real(json, "timeStr");
    decoded.sourceText = strict::text(json, "sourceText");
    decoded.resultText = strict::text(json, "resultText");
    decoded.sourceColor = strict::text(json, "sourceColor");
    decoded.resultColor = strict::text(json, "resultColor");
    decoded.tagArea = strict::optionalInteger(json, "tagArea");
    decoded.start = strict::optionalInteger(json, "start");
    decoded.end = strict::optionalInteger(json, "end");
    decoded.images = strict::optionalTexts(json, "images");
    decoded.font = strict::integer(json, "font");
    decoded.isPIP = strict::flag(json, "isPIP");
    decoded.isComment = strict::flag(json, "isComment");
    const auto& comments = strict::required(json, "commentList");
    if (!comments.is_array()) {
        throw nlohmann::json::type_error::create(302, "stored \"commentList\" is not an array",
                                                 &json);
    }
    decoded.commentList.clear();
    for (const auto& comment : comments) {
        decoded.commentList.push_back(comment.get<TranslationHistoryDetailsCommnetModel>());
    }
    decoded.segId = strict::optionalInteger(json, "segId");
    decoded.isShowIndex = strict::optionalText(json, "isShowIndex");
    decoded.index = strict::integer(json, "index");
    decoded.surperIndex = strict::integer(json, "surperIndex");
    decoded.isCollect = strict::flag(json, "isCollect");
    decoded.isMine = strict::flag(json, "isMine");
    decoded.isOne = strict::flag(json, "isOne");
    decoded.streamID = strict::integer(json, "streamID");
    model = std::move(decoded);
}

}  // namespace pex
