#pragma once
// The conversation cell: one transcript line of a live interview (`model`: its number, the
// sentence and, below it, the translation), or, in the history pop-ups, one stored transcript
// line with the answer given for it (`record`) or one stored question with its answer
// (`response`). A painted cell: its table measures and draws it, reusing one cell under the
// identifier "AiInterviewCellMac". One cell serves one of the three kinds for its whole life,
// since each kind sets only its own colours and placements.
#include <optional>

#include "Page/AIInterviewPages/ConversationCellLayout.h"
#include "platform/appkit/PaintedLabel.h"
#include "platform/appkit/TableCellView.h"
#include "service/AIResponseDetailRecord.h"
#include "service/PXTranslationHistoryDetailsModel.h"
#include "service/TranslationDetailRecord.h"

namespace pex {

class AiInterviewCellMac : public TableCellView {
  public:
    static constexpr const char* kIdentifier = "AiInterviewCellMac";

    AiInterviewCellMac();

    PaintedLabel sourceLab;
    PaintedLabel resultLab;
    PaintedLabel aiAnswerLab;

    const std::optional<AIResponseDetailRecord>& response() const { return response_; }
    // A stored question and its answer; an absent value changes nothing.
    virtual void setResponse(std::optional<AIResponseDetailRecord> response);
    const std::optional<TranslationDetailRecord>& record() const { return record_; }
    // A stored transcript line; an absent value changes nothing.
    virtual void setRecord(std::optional<TranslationDetailRecord> record);
    // Places the labels of a stored line: without the second line (`hideSecondLine`) the answer
    // follows the source; an empty answer keeps only 1 point below it instead of 11.
    virtual void layoutLabels(bool hideSecondLine, bool answerEmpty);
    const std::optional<PXTranslationHistoryDetailsModel>& model() const { return model_; }
    // A live transcript line; an absent value changes nothing.
    virtual void setModel(std::optional<PXTranslationHistoryDetailsModel> model);
    // Shows prefix + text in the source label, the prefix in the theme colour, all in the
    // system font of `points`.
    virtual void setPrefixedText(const QString& prefix, const QString& text, int points);

    // Whether the answer label has been added to the cell (only stored rows add it).
    bool hasAnswerLabel() const { return answerLabelAdded_; }
    const ConversationCellLayout& cellLayout() const { return layout_; }

    int heightForWidth(int width) override;
    void draw(QPainter& painter, const QRect& bounds) override;

  private:
    PaintedLabel* answerLabel();

    std::optional<AIResponseDetailRecord> response_;
    std::optional<TranslationDetailRecord> record_;
    std::optional<PXTranslationHistoryDetailsModel> model_;
    bool answerLabelAdded_ = false;
    ConversationCellLayout layout_;
};

// Every label of the conversation cells starts so: empty, system font 15, white text.
void makeConversationLabel(PaintedLabel& label);
// Sets `label` to prefix + text with the prefix in the theme colour, font size `points`.
void setPrefixedLabelText(PaintedLabel& label, const QString& prefix, const QString& text,
                          int points);

}  // namespace pex
