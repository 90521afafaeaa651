#include "Page/AIInterviewPages/ConversationRowText.h"

#include "Tools/ColorExtension.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

AttributedString prefixed(const QString& prefix, const QString& text, int points) {
    AttributedString joined;
    joined.string = prefix + text;
    joined.font = systemFont(points);
    joined.addColor(conversationThemeColor(), 0, static_cast<int>(prefix.size()));
    return joined;
}

}  // namespace

Color conversationThemeColor() {
    return colorWithHex(0x19CFAE);
}

AttributedString transcriptRowText(const PXTranslationHistoryDetailsModel& model) {
    return prefixed(QString::number(model.index) + QStringLiteral(":"),
                    QString::fromStdString(model.sourceText), static_cast<int>(model.font));
}

AttributedString translationRowText(const PXTranslationHistoryDetailsModel& model) {
    return prefixed(QString(), QString::fromStdString(model.resultText),
                    static_cast<int>(model.font));
}

AttributedString answerRowText(int row, const QString& text, int points) {
    return prefixed(QString::number(row + 1) + QStringLiteral(":"), text, points);
}

}  // namespace pex
