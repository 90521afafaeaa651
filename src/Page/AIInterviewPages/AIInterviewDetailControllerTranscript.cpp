// The transcript and answer side of AIInterviewDetailController: the live row, the transcript
// rows with their session times, the stored transcript lines, and the answers asked for them
// (automatically for every final sentence, or from the question box on request).
#include <chrono>
#include <cmath>

#include <QScrollBar>
#include "Page/AIInterviewPages/AIInterviewDetailController.h"

#include "Page/AIInterviewPages/AiInterviewAiCellMac.h"
#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Page/AIInterviewPages/ConversationRowText.h"
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
    if (!suppressCenterModelRefresh) reloadTranscriptTable();
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
    reloadTranscriptTable();

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
    reloadAnswerTable();
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
    reloadAnswerTable();
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
    reloadAnswerTable();
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

namespace {

// A finite height above 0, or the default row height.
int usable(double height) {
    return std::isfinite(height) && height > 0 ? static_cast<int>(height)
                                               : AIInterviewDetailController::kDefaultRowHeight;
}

PXTranslationHistoryDetailsModel numbered(PXTranslationHistoryDetailsModel model, int number,
                                          int points) {
    model.index = number;
    model.font = points;
    return model;
}

}  // namespace

int AIInterviewDetailController::transcriptRowHeight(const PXTranslationHistoryDetailsModel& model,
                                                     int tableWidth) {
    if (tableWidth <= 0) return kDefaultRowHeight;
    const int w = tableWidth - 22;
    double height = w > 0 ? std::ceil(transcriptRowText(model).heightForWidth(w)) + 4 : 4;
    if (model.resultText.empty()) return usable(std::ceil(height + 4));
    height += 4;
    return usable(
        w > 0 ? std::ceil(height + std::ceil(translationRowText(model).heightForWidth(w)) + 8)
              : std::ceil(height + 8));
}

int AIInterviewDetailController::answerRowHeight(int number, const std::string& text, int points,
                                                 int tableWidth) {
    if (tableWidth <= 0) return kDefaultRowHeight;
    const int w = tableWidth - 22 - 20;
    if (w <= 0) return 52;
    const double h =
        answerRowText(number - 1, QString::fromStdString(text), points).heightForWidth(w);
    return usable(std::ceil(h + 16) + 8);
}

std::optional<int> AIInterviewDetailController::heightOfRow(TableView& tableView, int row,
                                                            int width) {
    if (row < 0) return kDefaultRowHeight;
    if (&tableView == bottomTableView_) {
        if (row >= static_cast<int>(streamModels.size())) return kDefaultRowHeight;
        return answerRowHeight(row + 1, streamModels[row]->responseText, fontSize, width);
    }
    if (width != topHeightsWidth_) {
        // A new width: every row again (narrowing as well, so no text is clipped).
        topCellHeight_.clear();
        topHeightsWidth_ = width;
    }
    // Rows measured once: appending measures the new rows alone.
    while (topCellHeight_.size() < topArr.size()) {
        const int index = static_cast<int>(topCellHeight_.size());
        topCellHeight_.push_back(
            transcriptRowHeight(numbered(topArr[index], index + 1, fontSize), width));
    }
    if (row < static_cast<int>(topArr.size())) return topCellHeight_[row];
    if (!centerModel_) return kDefaultRowHeight;
    return transcriptRowHeight(numbered(*centerModel_, row + 1, fontSize), width);
}

int AIInterviewDetailController::numberOfRowsInTableView(TableView& tableView) {
    if (&tableView == bottomTableView_) return static_cast<int>(streamModels.size());
    return static_cast<int>(topArr.size()) + (centerModel_ ? 1 : 0);
}

TableCellView* AIInterviewDetailController::viewForRow(TableView& tableView, int row) {
    if (row < 0) return nullptr;
    if (&tableView == bottomTableView_) {
        if (row >= static_cast<int>(streamModels.size())) return nullptr;
        auto* cell = dynamic_cast<AiInterviewAiCellMac*>(
            tableView.makeViewWithIdentifier(AiInterviewAiCellMac::kIdentifier));
        if (!cell) {
            auto made = std::make_unique<AiInterviewAiCellMac>();
            made->setIdentifier(AiInterviewAiCellMac::kIdentifier);
            cell = static_cast<AiInterviewAiCellMac*>(tableView.adoptView(std::move(made)));
        }
        cell->setPrefixedText(QString::number(row + 1) + QStringLiteral(":"),
                              QString::fromStdString(streamModels[row]->responseText), fontSize);
        return cell;
    }
    const bool transcriptRow = row < static_cast<int>(topArr.size());
    if (!transcriptRow && !centerModel_) return nullptr;
    auto* cell = dynamic_cast<AiInterviewCellMac*>(
        tableView.makeViewWithIdentifier(AiInterviewCellMac::kIdentifier));
    if (!cell) {
        auto made = std::make_unique<AiInterviewCellMac>();
        made->setIdentifier(AiInterviewCellMac::kIdentifier);
        cell = static_cast<AiInterviewCellMac*>(tableView.adoptView(std::move(made)));
    }
    PXTranslationHistoryDetailsModel shown = transcriptRow ? topArr[row] : *centerModel_;
    shown.index = row + 1;
    shown.font = fontSize;
    cell->setModel(std::move(shown));
    return cell;
}

void AIInterviewDetailController::reloadTranscriptTable() {
    onMainQueue([weak = QPointer<AIInterviewDetailController>(this)] {
        if (weak) weak->reloadTable(weak->topTableView_, weak->topScrollToBottomButton_);
    });
}

void AIInterviewDetailController::reloadAnswerTable() {
    onMainQueue([weak = QPointer<AIInterviewDetailController>(this)] {
        if (weak) weak->reloadTable(weak->bottomTableView_, weak->bottomScrollToBottomButton_);
    });
}

void AIInterviewDetailController::reloadTable(TableView* table, QPushButton* button) {
    if (isClosing || !table) return;
    const bool following = button->isHidden();
    QScrollBar* bar = table->verticalScrollBar();
    const int position = bar->value();
    table->reloadData();
    table->doItemsLayout();
    if (following) {
        scrollTableToBottom(table, button);
    } else {
        bar->setValue(position);  // the user's reading position stays
    }
}

void AIInterviewDetailController::scrollTopTableToBottom() {
    scrollTableToBottom(topTableView_, topScrollToBottomButton_);
}

void AIInterviewDetailController::scrollBottomTableToBottom() {
    scrollTableToBottom(bottomTableView_, bottomScrollToBottomButton_);
}

void AIInterviewDetailController::scrollTableToBottom(TableView* table, QPushButton* button) {
    if (isClosing || !table) return;
    table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
    button->hide();
}

void AIInterviewDetailController::updateScrollButton(TableView* table, QPushButton* button) {
    const QScrollBar* bar = table->verticalScrollBar();
    const int distanceToEnd = bar->maximum() - bar->value();
    if (distanceToEnd == 0 && bar->maximum() > 0) return;  // exactly at the end: unchanged
    button->setVisible(distanceToEnd > kFollowDistance);
}

}  // namespace pex
