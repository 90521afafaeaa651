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

// `stem` followed by `suffix`, always one plain file name that the file system takes: path
// separators and control characters of the stem become "_", bidirectional formatting
// characters (which could make the name show a false extension) are dropped, and a long stem
// is cut at a character boundary so that the whole name fits kMaxFileNameBytes in UTF-8.
inline constexpr int kMaxFileNameBytes = 255;
QString exportFileName(const std::string& stem, const QString& suffix);

}  // namespace pex
