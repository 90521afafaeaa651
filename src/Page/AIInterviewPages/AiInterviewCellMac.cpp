#include "Page/AIInterviewPages/AiInterviewCellMac.h"

#include "Page/AIInterviewPages/ConversationRowText.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kStandardPoints = 15;
constexpr int kGap = 4;
constexpr int kLiveTranslationBottom = 8;
constexpr int kLiveSourceBottom = 4;
constexpr int kAnswerBottom = 11;
constexpr int kEmptyAnswerBottom = 1;

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
}  // namespace

void makeConversationLabel(PaintedLabel& label) {
    label.setText(QString());
    label.setFont(systemFont(kStandardPoints));
    label.setTextColor(Color::grey(1));
    label.setHidden(false);
}

void setPrefixedLabelText(PaintedLabel& label, const QString& prefix, const QString& text,
                          int points) {
    AttributedString joined;
    joined.string = prefix + text;
    joined.addColor(conversationThemeColor(), 0, static_cast<int>(prefix.size()));
    label.setAttributedText(std::move(joined));
    label.setFont(systemFont(points));
}

AiInterviewCellMac::AiInterviewCellMac() {
    setIdentifier(QString::fromLatin1(kIdentifier));
    makeConversationLabel(sourceLab);
    makeConversationLabel(resultLab);
    makeConversationLabel(aiAnswerLab);
    layout_.place(&sourceLab, kGap);
    resultLab.setHidden(true);
}

PaintedLabel* AiInterviewCellMac::answerLabel() {
    answerLabelAdded_ = true;
    return &aiAnswerLab;
}

void AiInterviewCellMac::setResponse(std::optional<AIResponseDetailRecord> response) {
    response_ = std::move(response);
    if (!response_) return;
    sourceLab.setText(QStringLiteral("问题：") + text(response_->aiQuestionText));
    sourceLab.setTextColor(Color::grey(0));
    resultLab.setText(QStringLiteral("回答：") + text(response_->aiResultText));
    resultLab.setTextColor(conversationThemeColor());
    layoutLabels(response_->aiResultText.empty(), true);
    aiAnswerLab.setHidden(true);
}

void AiInterviewCellMac::setRecord(std::optional<TranslationDetailRecord> record) {
    record_ = std::move(record);
    if (!record_) return;
    const bool answered = !record_->aiResultText.empty();
    const QString source =
        answered ? QStringLiteral("问题：") + text(record_->sourceText) : text(record_->sourceText);
    setPrefixedText(QString(), source, kStandardPoints);
    resultLab.setText(text(record_->resultText));
    resultLab.setTextColor(Color::grey(0));
    sourceLab.setTextColor(Color::grey(0));
    aiAnswerLab.setText(QStringLiteral("回答：") + text(record_->aiResultText));
    aiAnswerLab.setTextColor(conversationThemeColor());
    layoutLabels(record_->resultText.empty(), !answered);
    aiAnswerLab.setHidden(!answered);
}

void AiInterviewCellMac::layoutLabels(bool hideSecondLine, bool answerEmpty) {
    PaintedLabel* answer = answerLabel();
    layout_.clear();
    layout_.place(&sourceLab, kGap);
    if (hideSecondLine) {
        resultLab.setHidden(true);
    } else {
        layout_.place(&resultLab, kGap);
        resultLab.setHidden(false);
    }
    layout_.place(answer, kGap);
    layout_.setBottomInset(answerEmpty ? kEmptyAnswerBottom : kAnswerBottom);
}

void AiInterviewCellMac::setModel(std::optional<PXTranslationHistoryDetailsModel> model) {
    model_ = std::move(model);
    if (!model_) return;
    const int points = static_cast<int>(model_->font);
    setPrefixedText(QString::number(model_->index) + QStringLiteral(":"), text(model_->sourceText),
                    points);
    resultLab.setText(text(model_->resultText));
    resultLab.setFont(systemFont(points));
    layout_.clear();
    layout_.place(&sourceLab, kGap);
    if (!model_->resultText.empty()) {
        layout_.place(&resultLab, kGap);
        layout_.setBottomInset(kLiveTranslationBottom);
        resultLab.setHidden(false);
    } else {
        layout_.setBottomInset(kLiveSourceBottom);
        resultLab.setHidden(true);
    }
}

void AiInterviewCellMac::setPrefixedText(const QString& prefix, const QString& text, int points) {
    setPrefixedLabelText(sourceLab, prefix, text, points);
}

int AiInterviewCellMac::heightForWidth(int width) {
    return layout_.layOut(width);
}

void AiInterviewCellMac::draw(QPainter& painter, const QRect& bounds) {
    layout_.layOut(bounds.width());
    layout_.draw(painter, bounds.topLeft());
}

}  // namespace pex
