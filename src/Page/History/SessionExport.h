#pragma once
// What an export of a stored session writes: the questions and answers as text, the transcript
// as text, and the names proposed for the files. The texts are read from the history database:
// each row's lines end with "\n" and rows are separated by one empty line; no rows give "".
#include <QString>
#include <string>

#include "service/HistoryRecord.h"

namespace pex {

// Manual sessions: each stored question ("问题：") with its answer ("答案："). Automatic
// sessions: each transcript line as the question, its translation on a line of its own, and
// the answer given for it.
std::string questionsAndAnswersText(const HistoryRecord& record);
// Each transcript line: its time, the sentence and the translation.
std::string transcriptText(const HistoryRecord& record);

// `stem` followed by `suffix`, with path separators and control characters of the stem made
// "_", so the proposed name is always one plain file name.
QString exportFileName(const std::string& stem, const QString& suffix);

}  // namespace pex
