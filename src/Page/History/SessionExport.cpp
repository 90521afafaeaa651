#include "Page/History/SessionExport.h"

#include <QList>
#include <QTextBoundaryFinder>
#include <vector>

#include "service/GRDBDataManager.h"

namespace pex {

namespace {

// Characters that reorder the text around them when it is shown.
bool isBidiFormatting(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

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
    QString name;
    for (const char32_t c : QString::fromStdString(stem).toUcs4()) {
        if (isBidiFormatting(c)) continue;
        const QString one = QString::fromUcs4(&c, 1);
        const QChar::Category category = QChar::category(c);
        const bool unsafe = c == U'/' || c == U'\\' || category == QChar::Other_Control ||
                            category == QChar::Separator_Line ||
                            category == QChar::Separator_Paragraph;
        name += unsafe ? QStringLiteral("_") : one;
    }
    const qsizetype budget = kMaxFileNameBytes - suffix.toUtf8().size();
    if (name.toUtf8().size() > budget) {
        // The longest start of the stem that ends on a character boundary and fits.
        QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, name);
        qsizetype fits = 0;
        qsizetype bytes = 0;
        for (qsizetype at = boundaries.toNextBoundary(); at > 0; at = boundaries.toNextBoundary()) {
            bytes += QStringView(name).sliced(fits, at - fits).toUtf8().size();
            if (bytes > budget) break;
            fits = at;
        }
        name.truncate(fits);
    }
    return name + suffix;
}

}  // namespace pex
