#include "Page/AIInterviewPages/AiInterviewAiCellMac.h"

#include "Page/AIInterviewPages/AiInterviewCellMac.h"

namespace pex {

namespace {
constexpr int kInset = 4;
}

AiInterviewAiCellMac::AiInterviewAiCellMac() {
    setIdentifier(QString::fromLatin1(kIdentifier));
    makeConversationLabel(sourceLab);
    layout_.place(&sourceLab, kInset);
    layout_.setBottomInset(kInset);
}

void AiInterviewAiCellMac::setPrefixedText(const QString& prefix, const QString& text, int points) {
    setPrefixedLabelText(sourceLab, prefix, text, points);
}

int AiInterviewAiCellMac::heightForWidth(int width) {
    return layout_.layOut(width);
}

void AiInterviewAiCellMac::draw(QPainter& painter, const QRect& bounds) {
    layout_.layOut(bounds.width());
    layout_.draw(painter, bounds.topLeft());
}

}  // namespace pex
