#include "Page/History/SessionExport.h"

#include <vector>

#include "service/GRDBDataManager.h"

namespace pex {

namespace {

std::string joinRows(const std::vector<std::string>& rows) {
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) text += "\n";
        text += rows[i];
    }
    return text;
}

}  // namespace

std::string questionsAndAnswersText(const HistoryRecord& record) {
    if (!record.id) return {};
    std::vector<std::string> rows;
    if (record.antoAnswerType != 0) {
        for (const auto& row : GRDBDataManager::shared().fetchAIResponseDetails(*record.id)) {
            rows.push_back(row.time + "\n问题：" + row.aiQuestionText + "\n答案：" +
                           row.aiResultText + "\n");
        }
    } else {
        for (const auto& row : GRDBDataManager::shared().fetchTranslationDetails(*record.id)) {
            rows.push_back(row.time + "\n问题：" + row.sourceText + "\n" + row.resultText +
                           "\n答案：" + row.aiResultText + "\n");
        }
    }
    return joinRows(rows);
}

std::string transcriptText(const HistoryRecord& record) {
    if (!record.id) return {};
    std::vector<std::string> rows;
    for (const auto& row : GRDBDataManager::shared().fetchTranslationDetails(*record.id)) {
        rows.push_back(row.time + "\n" + row.sourceText + "\n" + row.resultText + "\n");
    }
    return joinRows(rows);
}

QString exportFileName(const std::string& stem, const QString& suffix) {
    QString name = QString::fromStdString(stem);
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') ||
            c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph) {
            c = QLatin1Char('_');
        }
    }
    return name + suffix;
}

}  // namespace pex
