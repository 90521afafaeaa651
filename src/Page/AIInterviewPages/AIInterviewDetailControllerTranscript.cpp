// The transcript and answer side of AIInterviewDetailController: the live row, the transcript
// rows with their session times, the stored transcript lines, and the answers asked for them
// (automatically for every final sentence, or from the question box on request).
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <utility>

#include <QPainter>
#include <QScrollBar>
#include "Page/AIInterviewPages/AIInterviewDetailController.h"

#include "Page/AIInterviewPages/AiInterviewAiCellMac.h"
#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Page/AIInterviewPages/AnswerUpdateCoalescer.h"
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
    std::optional<PXTranslationHistoryDetailsModel> old = std::move(centerModel_);
    centerModel_ = std::move(model);
    if (!suppressCenterModelRefresh) {
        refreshLiveRow(old, centerModel_);
    } else if (!centerModel_) {
        centerRowHeight = kDefaultRowHeight;
    }
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

    // The line is stored before its question goes out: an automatic answer is written onto
    // it, and a quick one may be complete before this turn is over.
    TranslationDetailRecord record;
    record.historyId = historyId;
    record.time = historyTimeTextNow();
    record.timeStr = secondsSince1970();
    record.sourceText = sourceText;
    record.resultText = translation;
    record.sourceColor = "#f9f9f9";
    record.resultColor = "#f9f9f9";
    record.streamID = row.streamID;
    record.startTime = row.start.value_or(0);
    record.endTime = 0;
    if (const DatabaseStatus stored = GRDBDataManager::shared().insertTranslationDetail(record);
        !stored) {
        handleStorageFailure(kRecordsNotSavedText, stored.error().message());
    }

    // The question leaves before the transcript table is laid out again: the user waits for
    // the answer, not for the table. (askAI renews the stamp; the row keeps its own.)
    if (!isManualAnswerMode()) askAI(sourceText);  // what was said, never its translation

    topArr.push_back(row);
    if (centerModel_) {
        suppressCenterModelRefresh = true;
        setCenterModel(std::nullopt);
        suppressCenterModelRefresh = false;
        centerRowHeight = kDefaultRowHeight;
    }
    // The rows above the new one keep their heights and places.
    reloadTranscriptTable(recomputeTranscriptHeights());

    if (isManualAnswerMode() && textView_) {
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
    // No question goes out for a session that has ended: nothing is billed or recorded then.
    if (ended_) return;
    auto row = std::make_shared<AnswerRow>();
    row->id = streamID;
    row->question = question;
    StreamModel model = makeStreamModel(question);
    const QPointer<AIInterviewDetailController> weak(this);
    const std::weak_ptr<AnswerRow> weakRow = row;
    // However fast the pieces come, one update per answer waits on the main queue.
    const auto updates = AnswerUpdateCoalescer::create(
        [](std::function<void()> work) { DispatchQueue::main().async(std::move(work)); },
        [weak, weakRow](const std::string& added) {
            const auto answer = weakRow.lock();
            if (weak && answer) weak->updateAnswerRow(answer, answer->responseText + added);
        });
    model.onUpdate = [updates](const std::string& text) { updates->answerGrew(text); };
    const AnswerStore store{
        historyId, !isManualAnswerMode(), [weak](const std::string& description) {
            DispatchQueue::main().async([weak, description] {
                if (weak) weak->handleStorageFailure(kRecordsNotSavedText, description);
            });
        }};
    model.didComplete = [store, question](std::int64_t id, const std::string& text, StreamOutcome) {
        store.storeAnswer(id, text, question);
    };
    std::shared_ptr<StreamingClient> client = StreamingClient::create(std::move(model));
    streamModels.push_back(row);
    // Every started client stays reachable for `cancelStreams`, whatever the answer table shows.
    std::erase_if(streamClients_,
                  [](const std::weak_ptr<StreamingClient>& c) { return c.expired(); });
    streamClients_.push_back(client);
    // Sent before the answer table is laid out again; its pieces come later, on the main
    // queue, when the row is listed.
    client->start();
    recomputeAnswerHeights();
    reloadAnswerTable();
    renewStreamID();
}

void AIInterviewDetailController::AnswerStore::storeAnswer(std::int64_t id,
                                                           const std::string& answer,
                                                           const std::string& question) const {
    // What the user saw is kept however the stream ended: cut by the end of the session or by
    // the network, its text so far is the answer. A stream that brought no text has nothing to
    // store and must not blank an answer stored before.
    if (answer.empty()) return;
    DatabaseStatus stored = DatabaseSuccess{};
    if (automatic) {
        stored = GRDBDataManager::shared().updateAIResultText(historyId, id, answer);
    } else {
        AIResponseDetailRecord record;
        record.historyId = historyId;
        record.time = historyTimeTextNow();
        record.timeStr = secondsSince1970();
        record.aiQuestionText = question;
        record.aiResultText = answer;
        stored = GRDBDataManager::shared().insertAIResponseDetail(record);
    }
    if (!stored && onStoreFailed) onStoreFailed(stored.error().message());
}

void AIInterviewDetailController::askFromTextView() {
    // Nothing can be asked once the session has ended: the answers and the question stay as
    // they are, and the user is told why nothing happens.
    if (ended_) {
        StatusHUD::showMessage(kSessionEndedText, StatusHUDMode::text);
        return;
    }
    if (!textView_) return;
    const QString text = textView_->toPlainText();
    if (text.isEmpty()) {
        StatusHUD::showMessage(kEmptyQuestionText, StatusHUDMode::text);
        return;
    }
    streamModels.clear();
    recomputeAnswerHeights();
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

bool isUsable(double height) {
    return std::isfinite(height) && height > 0;
}

// A finite height above 0, or the default row height.
int usable(double height) {
    return isUsable(height) ? static_cast<int>(std::lround(height))
                            : AIInterviewDetailController::kDefaultRowHeight;
}

// The row at the top of `table`'s view and the top of its rectangle there (the first row
// found from the view's top edge down, past the spacing between rows).
std::optional<std::pair<int, int>> topRowInView(const TableView& table) {
    const int x = table.viewport()->width() / 2;
    for (int y = 0; y <= 2 * table.spacing() + 1; ++y) {
        const QModelIndex index = table.indexAt(QPoint(x, y));
        if (index.isValid()) return std::pair{index.row(), table.visualRect(index).top()};
    }
    return std::nullopt;
}

PXTranslationHistoryDetailsModel numbered(PXTranslationHistoryDetailsModel model, int number,
                                          int points) {
    model.index = number;
    model.font = points;
    return model;
}

// The session's answer cell: an AiInterviewAiCellMac that measures and draws its text from
// the lines its row keeps, laying out only the lines in view (a long answer is not laid out
// whole on every piece and every frame).
class SessionAnswerCell : public AiInterviewAiCellMac {
  public:
    static constexpr int kInset = 4;

    // The row shown: its kept lines are measured and drawn (held, so a row that leaves the
    // table while its cell is in use stays valid).
    void setRow(std::shared_ptr<AIInterviewDetailController::AnswerRow> row) {
        row_ = std::move(row);
    }

    // Lays the row's text out for the width the cell was last drawn at (the table draws a row
    // narrower than its rectangle by its spacing), else `width`; answers how far down the cell
    // it now differs from what it drew before.
    int prepare(int width) {
        if (!row_) return 0;
        WrappedTextLines& lines = row_->drawnLines;
        lines.update(sourceLab.attributedText(), labelWidth(drawnWidth_ > 0 ? drawnWidth_ : width));
        return kInset + static_cast<int>(std::floor(lines.changedFromY()));
    }

    int heightForWidth(int width) override {
        if (!row_) return AiInterviewAiCellMac::heightForWidth(width);
        WrappedTextLines& lines = row_->drawnLines;
        lines.update(sourceLab.attributedText(), labelWidth(width));
        return kInset + lines.height() + kInset;
    }

    void draw(QPainter& painter, const QRect& bounds) override {
        if (!row_) return AiInterviewAiCellMac::draw(painter, bounds);
        if (sourceLab.isHidden()) return;
        drawnWidth_ = bounds.width();
        WrappedTextLines& lines = row_->drawnLines;
        lines.update(sourceLab.attributedText(), labelWidth(bounds.width()));
        const QRectF frame(bounds.left() + ConversationCellLayout::kSideInset,
                           bounds.top() + kInset, labelWidth(bounds.width()), lines.height());
        lines.draw(painter, frame, sourceLab.textColor(), WrappedTextLines::visibleRect(painter));
    }

  private:
    static int labelWidth(int width) {
        return std::max(1, width - 2 * ConversationCellLayout::kSideInset);
    }
    std::shared_ptr<AIInterviewDetailController::AnswerRow> row_;
    int drawnWidth_ = 0;
};

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

double AIInterviewDetailController::measureAnswerRow(AnswerRow& row, int number,
                                                     double tableWidth) {
    // answerRowHeight, from the row's kept lines.
    if (tableWidth <= 0) return kDefaultRowHeight;
    const int w = static_cast<int>(tableWidth) - 22 - 20;
    if (w <= 0) return 52;
    row.measuredLines.update(
        answerRowText(number - 1, QString::fromStdString(row.responseText), fontSize), w);
    return usable(std::ceil(row.measuredLines.height() + 16.0) + 8);
}

double AIInterviewDetailController::tableContentWidth(const TableView* table) {
    return table ? std::max(0, table->viewport()->width()) : 0;
}

std::size_t AIInterviewDetailController::recomputeTranscriptHeights() {
    const std::size_t kept = topCellHeight.size();
    const double width = tableContentWidth(topTableView_);
    if (width > 0) cachedTopTableWidth = width;
    if (topStale_.size() != topCellHeight.size()) {
        // Heights put in or taken away from outside: the marks follow them. Only the marks
        // taken away change the count, so this costs the change, not the transcript.
        if (topStale_.size() > topCellHeight.size()) {
            topStaleCount_ -= static_cast<std::size_t>(
                std::count(topStale_.begin() + static_cast<std::ptrdiff_t>(topCellHeight.size()),
                           topStale_.end(), 1));
        }
        topStale_.resize(topCellHeight.size(), 0);
    }
    const bool rowsReplaced = topCellHeight.size() > topArr.size();
    const bool otherMeasure = width != topHeightsWidth_ || fontSize != topHeightsFont_;
    // Rows left to measure may be measured now, in view, wherever they are.
    const bool onlyNewRows = !rowsReplaced && !otherMeasure && topStaleCount_ == 0;
    if (rowsReplaced || (width <= 0 && otherMeasure)) {
        // Rows taken away (the transcript was replaced), or no width (every row the default):
        // every row again, at once.
        topCellHeight.clear();
        topStale_.clear();
        topStaleCount_ = 0;
    } else if (otherMeasure && !topCellHeight.empty()) {
        // Another width or font: the old heights stand in while the rows are measured again,
        // those in view now and the rest in slices, so the frame is not held up by them all.
        std::fill(topStale_.begin(), topStale_.end(), 1);
        topStaleCount_ = topStale_.size();
        topSliceCursor_ = 0;
    }
    topHeightsWidth_ = width;
    topHeightsFont_ = fontSize;
    // The rows measured before keep their heights: appending measures the new rows alone.
    topCellHeight.reserve(topArr.size());
    topStale_.reserve(topArr.size());
    for (std::size_t i = topCellHeight.size(); i < topArr.size(); ++i) {
        topCellHeight.push_back(kDefaultRowHeight);
        topStale_.push_back(1);
        ++topStaleCount_;
        measureTranscriptRow(i);
    }
    measureTranscriptRowsInView();
    scheduleTranscriptSlice();
    recomputeLiveRowHeight();
    return onlyNewRows ? kept : 0;
}

void AIInterviewDetailController::measureTranscriptRow(std::size_t row) {
    if (row >= topStale_.size() || !topStale_[row]) return;
    topCellHeight[row] =
        topHeightsWidth_ > 0
            ? transcriptRowHeight(numbered(topArr[row], static_cast<int>(row) + 1, topHeightsFont_),
                                  static_cast<int>(topHeightsWidth_))
            : kDefaultRowHeight;
    topStale_[row] = 0;
    --topStaleCount_;
}

void AIInterviewDetailController::measureTranscriptRowsInView() {
    if (!topStaleCount_ || !topTableView_ || topCellHeight.empty()) return;
    const int rows = static_cast<int>(topCellHeight.size());
    const bool following = !topScrollToBottomButton_ || topScrollToBottomButton_->isHidden();
    // Still the old layout: its top row is the one the reader sees.
    const auto top = following ? std::nullopt : topRowInView(*topTableView_);
    const int first = top ? std::min(top->first, rows - 1) : rows - 1;
    const int step = top ? 1 : -1;
    const int gap = 2 * topTableView_->spacing();
    double covered = top ? top->second : 0;
    const int viewHeight = topTableView_->viewport()->height();
    for (int row = first; row >= 0 && row < rows && covered < viewHeight; row += step) {
        measureTranscriptRow(static_cast<std::size_t>(row));
        covered += usable(topCellHeight[static_cast<std::size_t>(row)]) + gap;
    }
}

void AIInterviewDetailController::scheduleTranscriptSlice() {
    if (topSliceScheduled_ || !topStaleCount_) return;
    topSliceScheduled_ = true;
    DispatchQueue::main().asyncAfter(kMeasureSliceGap,
                                     [weak = QPointer<AIInterviewDetailController>(this)] {
                                         if (!weak) return;
                                         weak->topSliceScheduled_ = false;
                                         weak->measureTranscriptSlice();
                                     });
}

void AIInterviewDetailController::measureTranscriptSlice() {
    if (isClosing || !topStaleCount_) return;
    const std::size_t rows = topStale_.size();
    std::size_t measured = 0;
    for (std::size_t seen = 0; seen < rows && measured < kMeasureSliceRows; ++seen) {
        if (topSliceCursor_ >= rows) topSliceCursor_ = 0;
        const std::size_t row = topSliceCursor_++;
        if (!topStale_[row]) continue;
        measureTranscriptRow(row);
        ++measured;
    }
    // The rows are placed again from their heights; the reader's top row stays in place.
    reloadTable(topTableView_, topScrollToBottomButton_, false);
    scheduleTranscriptSlice();  // one chain of slices however often a slice is asked for
}

void AIInterviewDetailController::recomputeLiveRowHeight() {
    if (!centerModel_) {
        centerRowHeight = kDefaultRowHeight;
        return;
    }
    const double width = tableContentWidth(topTableView_);
    if (width > 0) cachedTopTableWidth = width;
    centerRowHeight =
        width > 0 ? transcriptRowHeight(
                        numbered(*centerModel_, static_cast<int>(topArr.size()) + 1, fontSize),
                        static_cast<int>(width))
                  : kDefaultRowHeight;
}

void AIInterviewDetailController::recomputeAnswerHeights() {
    const double width = tableContentWidth(bottomTableView_);
    if (width > 0) cachedBottomTableWidth = width;
    std::vector<double> heights;
    heights.reserve(streamModels.size());
    for (std::size_t i = 0; i < streamModels.size(); ++i) {
        heights.push_back(measureAnswerRow(*streamModels[i], static_cast<int>(i) + 1, width));
    }
    bottomCellHeight = std::move(heights);
}

void AIInterviewDetailController::refreshLiveRow(
    const std::optional<PXTranslationHistoryDetailsModel>& old,
    const std::optional<PXTranslationHistoryDetailsModel>& now) {
    const double width = tableContentWidth(topTableView_);
    if (width > 0) cachedTopTableWidth = width;
    const int number = static_cast<int>(topArr.size()) + 1;
    auto heightOf = [&](const std::optional<PXTranslationHistoryDetailsModel>& row) -> double {
        if (!row || width <= 0) return kDefaultRowHeight;
        return transcriptRowHeight(numbered(*row, number, fontSize), static_cast<int>(width));
    };
    const double oldHeight = heightOf(old);
    const double newHeight = heightOf(now);
    centerRowHeight = newHeight;
    if ((!old && !now) || isClosing || !topTableView_) return;
    const int liveRow = static_cast<int>(topArr.size());
    if (old && now && liveRow < topTableView_->numberOfRows()) {
        // The same rows: the live row alone. A changed height places the rows again at once
        // (Qt has no row-height animation to suppress).
        if (std::abs(newHeight - oldHeight) > 0.5) topTableView_->noteHeightOfRowChanged(liveRow);
        topTableView_->reloadRow(liveRow);
        if (topScrollToBottomButton_->isHidden()) scrollTopTableToBottom();
        return;
    }
    reloadTranscriptTable();
}

void AIInterviewDetailController::updateAnswerRow(const std::shared_ptr<AnswerRow>& row,
                                                  const std::string& text) {
    if (isClosing) return;
    // The row of this very answer; one no longer listed (a manual question emptied the table)
    // changes nothing.
    const auto found = std::find(streamModels.begin(), streamModels.end(), row);
    if (found == streamModels.end()) return;
    const int index = static_cast<int>(found - streamModels.begin());
    row->responseText = text;
    const double width = tableContentWidth(bottomTableView_);
    if (width > 0) cachedBottomTableWidth = width;
    const double oldHeight = static_cast<std::size_t>(index) < bottomCellHeight.size() &&
                                     isUsable(bottomCellHeight[index])
                                 ? bottomCellHeight[index]
                                 : kDefaultRowHeight;
    const double newHeight = measureAnswerRow(*row, index + 1, width);
    while (bottomCellHeight.size() <= static_cast<std::size_t>(index)) {
        bottomCellHeight.push_back(kDefaultRowHeight);
    }
    bottomCellHeight[index] = newHeight;
    if (!bottomTableView_ || index >= bottomTableView_->numberOfRows()) return;
    // A cell showing the row now is refilled in place (none is made for a row out of view);
    // only the part of the row below its first changed line is drawn again.
    QRect changed;
    const QRect shown = bottomTableView_->rectOfRow(index);
    if (shown.intersects(bottomTableView_->viewport()->rect())) {
        if (auto* cell = dynamic_cast<SessionAnswerCell*>(
                bottomTableView_->makeViewWithIdentifier(AiInterviewAiCellMac::kIdentifier))) {
            cell->setPrefixedText(QString::number(index + 1) + QStringLiteral(":"),
                                  QString::fromStdString(text), fontSize);
            cell->setRow(row);
            const int top = cell->prepare(shown.width());
            if (top < shown.height()) changed = QRect(0, top, shown.width(), shown.height() - top);
        }
    }
    const bool heightChanged = std::abs(newHeight - oldHeight) > 0.5;
    if (heightChanged) bottomTableView_->noteHeightOfRowChanged(index);
    bottomTableView_->reloadRow(index, heightChanged ? QRect() : changed);
    if (bottomScrollToBottomButton_->isHidden()) scrollBottomTableToBottom();
}

void AIInterviewDetailController::relayoutForWidth() {
    const double top = tableContentWidth(topTableView_);
    const double bottom = tableContentWidth(bottomTableView_);
    const bool topChanged = top > 0 && std::abs(top - cachedTopTableWidth) > 0.5;
    const bool bottomChanged = bottom > 0 && std::abs(bottom - cachedBottomTableWidth) > 0.5;
    if (topChanged) {
        recomputeTranscriptHeights();
        if (bottomChanged) {
            recomputeAnswerHeights();
            reloadTranscriptTable();
            reloadAnswerTable();
        } else {
            reloadTranscriptTable();
        }
    } else if (bottomChanged) {
        recomputeAnswerHeights();
        reloadAnswerTable();
    }
}

std::optional<int> AIInterviewDetailController::heightOfRow(TableView& tableView, int row,
                                                            int /*width*/) {
    if (row < 0) return kDefaultRowHeight;
    const auto at = static_cast<std::size_t>(row);
    if (&tableView == bottomTableView_) {
        return usable(at < bottomCellHeight.size() ? bottomCellHeight[at] : kDefaultRowHeight);
    }
    if (at < topCellHeight.size()) return usable(topCellHeight[at]);
    if (centerModel_ && at == topArr.size()) return usable(centerRowHeight);
    return kDefaultRowHeight;
}

int AIInterviewDetailController::numberOfRowsInTableView(TableView& tableView) {
    if (&tableView == bottomTableView_) return static_cast<int>(streamModels.size());
    return static_cast<int>(topArr.size()) + (centerModel_ ? 1 : 0);
}

TableCellView* AIInterviewDetailController::viewForRow(TableView& tableView, int row) {
    if (row < 0) return nullptr;
    if (&tableView == bottomTableView_) {
        if (row >= static_cast<int>(streamModels.size())) return nullptr;
        auto* cell = dynamic_cast<SessionAnswerCell*>(
            tableView.makeViewWithIdentifier(AiInterviewAiCellMac::kIdentifier));
        if (!cell) {
            auto made = std::make_unique<SessionAnswerCell>();
            made->setIdentifier(AiInterviewAiCellMac::kIdentifier);
            cell = static_cast<SessionAnswerCell*>(tableView.adoptView(std::move(made)));
        }
        cell->setPrefixedText(QString::number(row + 1) + QStringLiteral(":"),
                              QString::fromStdString(streamModels[row]->responseText), fontSize);
        cell->setRow(streamModels[row]);
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

void AIInterviewDetailController::reloadTranscriptTable(std::optional<std::size_t> fromRow) {
    onMainQueue([weak = QPointer<AIInterviewDetailController>(this), fromRow] {
        if (weak) {
            weak->reloadTable(weak->topTableView_, weak->topScrollToBottomButton_, true, fromRow);
        }
    });
}

void AIInterviewDetailController::reloadAnswerTable() {
    onMainQueue([weak = QPointer<AIInterviewDetailController>(this)] {
        if (weak) weak->reloadTable(weak->bottomTableView_, weak->bottomScrollToBottomButton_);
    });
}

void AIInterviewDetailController::reloadTable(TableView* table, QPushButton* button,
                                              bool askForRows, std::optional<std::size_t> fromRow) {
    if (isClosing || !table) return;
    const bool following = button->isHidden();
    QScrollBar* bar = table->verticalScrollBar();
    const int position = bar->value();
    // The user's reading position stays: the row at the top of the view keeps its place there,
    // however the heights above it changed.
    const auto top = following ? std::nullopt : topRowInView(*table);
    if (fromRow) {
        table->reloadRowsFrom(static_cast<int>(std::min<std::size_t>(*fromRow, INT_MAX)));
    } else {
        if (askForRows) table->reloadData();
        table->doItemsLayout();
    }
    if (following) {
        scrollTableToBottom(table, button);
    } else if (top && top->first < table->numberOfRows()) {
        bar->setValue(bar->value() + table->rectOfRow(top->first).top() - top->second);
    } else {
        bar->setValue(position);
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
