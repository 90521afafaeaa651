#pragma once
// The texts of the conversation rows, built as the cells show them, so that a table can
// measure a row's height from its text instead of from a cell: the same prefixes ("n:" in the
// theme colour) and the system font of the row's size.
#include "platform/appkit/AttributedString.h"
#include "service/PXTranslationHistoryDetailsModel.h"

namespace pex {

// The theme colour of the prefixes and answers: 0x19CFAE.
Color conversationThemeColor();

// "n:" (the line's `index`) followed by its sentence, in the line's font size.
AttributedString transcriptRowText(const PXTranslationHistoryDetailsModel& model);
// The line's translation in its font size.
AttributedString translationRowText(const PXTranslationHistoryDetailsModel& model);
// "n:" with n = row + 1, followed by `text`, in the system font of `points`.
AttributedString answerRowText(int row, const QString& text, int points);

}  // namespace pex
