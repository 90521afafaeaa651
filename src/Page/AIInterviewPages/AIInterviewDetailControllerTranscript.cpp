// The transcript and answer side of AIInterviewDetailController: the live row, the transcript
// rows with their session times, the stored transcript lines, and the answers asked for them
// (automatically for every final sentence, or from the question box on request).
#include <chrono>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"
#include "service/GRDBDataManager.h"
#include "service/HistoryTimeText.h"

namespace pex {

namespace {

double secondsSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

void onMainQueue(std::function<void()> work) {
    if (MainQueue::isMainThread()) {
        work();
    } else {
        DispatchQueue::main().async(std::move(work));
    }
}

}  // namespace

void AIInterviewDetailController::renewStreamID() {
    streamID = std::max(static_cast<std::int64_t>(secondsSince1970()), streamID + 1);
}

void AIInterviewDetailController::setCenterModel(
    std::optional<PXTranslationHistoryDetailsModel> model) {
    centerModel_ = std::move(model);
}

void AIInterviewDetailController::handleIntermediateResult(const std::string& sourceText,
                                                           const std::string& translation) {
    PXTranslationHistoryDetailsModel row;
    row.sourceText = sourceText;
    row.resultText = translation;
    row.start = centerModel_ && centerModel_->start ? centerModel_->start : useTimeCount;
    setCenterModel(std::move(row));
}

void AIInterviewDetailController::handleFinalResult(const std::string& sourceText,
                                                    const std::string& translation) {
    PXTranslationHistoryDetailsModel row;
    row.sourceText = sourceText;
    row.resultText = translation;
    if (centerModel_ && centerModel_->start) {
        row.start = centerModel_->start;
    } else if (!topArr.empty()) {
        row.start = topArr.back().end;
    }
    row.end = useTimeCount;
    row.streamID = streamID;
    topArr.push_back(row);
    if (centerModel_) {
        suppressCenterModelRefresh = true;
        setCenterModel(std::nullopt);
        suppressCenterModelRefresh = false;
    }

    TranslationDetailRecord record;
    record.historyId = historyId;
    record.time = historyTimeTextNow();
    record.timeStr = secondsSince1970();
    record.sourceText = sourceText;
    record.resultText = translation;
    record.sourceColor = "#f9f9f9";
    record.resultColor = "#f9f9f9";
    record.streamID = streamID;
    record.startTime = row.start.value_or(0);
    record.endTime = 0;
    GRDBDataManager::shared().insertTranslationDetail(record);

    if (!isManualAnswerMode()) {
        // The question is what was said, never its translation.
        askAI(sourceText);
    } else if (textView_) {
        textView_->setPlainText(textView_->toPlainText() + "\n" +
                                QString::fromStdString(sourceText));
    }
}

StreamModel AIInterviewDetailController::makeStreamModel(const std::string& question) const {
    StreamModel model;
    model.id = streamID;
    model.type = (interviewModel ? interviewModel->generateAnswerType : 0) + 1;
    model.txt = question;
    model.role = interviewModel ? interviewModel->positioname : std::string();
    // The service takes the languages by their display names.
    if (interviewModel && interviewModel->modelType == 1) {
        model.original_language = langSpeechModel ? langSpeechModel->name : std::string();
    } else {
        model.original_language = langModel1 ? langModel1->name : std::string();
        model.trans_language = langModel2 ? langModel2->name : std::string();
    }
    return model;
}

void AIInterviewDetailController::askAI(const std::string& question) {
    // No question goes out for a session that has ended (its streams would be cancelled and
    // their answers never stored).
    if (ended_) return;
    auto row = std::make_shared<AnswerRow>(AnswerRow{streamID, question, std::string()});
    StreamModel model = makeStreamModel(question);
    const QPointer<AIInterviewDetailController> weak(this);
    const std::weak_ptr<AnswerRow> weakRow = row;
    model.onUpdate = [weak, weakRow](const std::string& text) {
        onMainQueue([weak, weakRow, text] {
            const auto answer = weakRow.lock();
            if (weak && answer) weak->updateAnswerRow(answer, text);
        });
    };
    const AnswerStore store{historyId, !isManualAnswerMode(), sessionRunning_};
    model.didComplete = [store, question](std::int64_t id, const std::string& text,
                                          StreamOutcome outcome) {
        store.storeAnswer(id, text, question, outcome);
    };
    std::shared_ptr<StreamingClient> client = StreamingClient::create(std::move(model));
    streamModels.push_back(row);
    // Every started client stays reachable for `cancelStreams`, whatever the answer table shows.
    std::erase_if(streamClients_,
                  [](const std::weak_ptr<StreamingClient>& c) { return c.expired(); });
    streamClients_.push_back(client);
    client->start();
    renewStreamID();
}

void AIInterviewDetailController::updateAnswerRow(const std::shared_ptr<AnswerRow>& row,
                                                  const std::string& text) {
    if (isClosing) return;
    // A row no longer listed (a manual question emptied the table) changes nothing.
    if (std::find(streamModels.begin(), streamModels.end(), row) == streamModels.end()) return;
    row->responseText = text;
}

void AIInterviewDetailController::AnswerStore::storeAnswer(std::int64_t id,
                                                           const std::string& answer,
                                                           const std::string& question,
                                                           StreamOutcome outcome) const {
    // A failed stream has no usable answer, and nothing is written for a session that has
    // ended: its streams were cancelled on the way out.
    if (outcome == StreamOutcome::failed || !sessionRunning || !sessionRunning->load()) return;
    if (automatic) {
        GRDBDataManager::shared().updateAIResultText(historyId, id, answer);
        return;
    }
    AIResponseDetailRecord record;
    record.historyId = historyId;
    record.time = historyTimeTextNow();
    record.timeStr = secondsSince1970();
    record.aiQuestionText = question;
    record.aiResultText = answer;
    GRDBDataManager::shared().insertAIResponseDetail(record);
}

void AIInterviewDetailController::askFromTextView() {
    if (!textView_) return;
    const QString text = textView_->toPlainText();
    if (text.isEmpty()) {
        StatusHUD::showMessage(kEmptyQuestionText, StatusHUDMode::text);
        return;
    }
    streamModels.clear();
    askAI(text.toStdString());
    textView_->clear();
}

void AIInterviewDetailController::cancelStreams() {
    for (const std::weak_ptr<StreamingClient>& weak : streamClients_) {
        if (std::shared_ptr<StreamingClient> client = weak.lock()) {
            DispatchQueue::global().async([client] { client->cancel(); });
        }
    }
}

}  // namespace pex
