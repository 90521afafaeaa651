// The conversation cells: which labels a live line, a stored line and a stored question show,
// with which texts, colours and placements, and the row texts measured for heights.
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "Page/AIInterviewPages/AiInterviewAiCellMac.h"
#include "Page/AIInterviewPages/AiInterviewCellMac.h"
#include "Page/AIInterviewPages/ConversationRowText.h"
#include "platform/appkit/SystemFont.h"

namespace pex::test {
namespace {

const Color kTheme = Color::rgb(0x19 / 255.0, 0xCF / 255.0, 0xAE / 255.0);
const Color kBlack = Color::grey(0);
const Color kWhite = Color::grey(1);
constexpr int kWidth = 400;

PXTranslationHistoryDetailsModel liveLine(std::int64_t index, std::string source,
                                          std::string result, std::int64_t font = 14) {
    PXTranslationHistoryDetailsModel model;
    model.index = index;
    model.sourceText = std::move(source);
    model.resultText = std::move(result);
    model.font = font;
    return model;
}

int textHeight(const PaintedLabel& label) {
    return label.heightForWidth(kWidth - 22);
}

TEST(AiInterviewCellMacTest, ALiveLineShowsItsNumberSentenceAndTranslation) {
    AiInterviewCellMac cell;
    EXPECT_EQ(cell.identifier(), QStringLiteral("AiInterviewCellMac"));

    cell.setModel(liveLine(10, "你好", ""));
    EXPECT_EQ(cell.sourceLab.text(), QStringLiteral("10:你好"));
    // The prefix "10:" is three characters in the theme colour; the rest keeps the white.
    ASSERT_EQ(cell.sourceLab.attributedText().colors.size(), 1u);
    EXPECT_EQ(cell.sourceLab.attributedText().colors[0].length, 3);
    EXPECT_EQ(cell.sourceLab.attributedText().colors[0].color, kTheme);
    EXPECT_EQ(cell.sourceLab.textColor(), kWhite);
    EXPECT_TRUE(cell.resultLab.isHidden());
    EXPECT_FALSE(cell.cellLayout().isPlaced(&cell.resultLab));
    EXPECT_EQ(cell.heightForWidth(kWidth), 4 + textHeight(cell.sourceLab) + 4);
    EXPECT_EQ(cell.sourceLab.frame(), QRect(11, 4, kWidth - 22, textHeight(cell.sourceLab)));

    cell.setModel(liveLine(2, "你好", "Hello", 20));
    EXPECT_FALSE(cell.resultLab.isHidden());
    EXPECT_EQ(cell.resultLab.text(), QStringLiteral("Hello"));
    EXPECT_EQ(cell.sourceLab.font().pixelSize(), 20);
    EXPECT_EQ(cell.resultLab.font().pixelSize(), 20);
    const int height = cell.heightForWidth(kWidth);
    EXPECT_EQ(height, 4 + textHeight(cell.sourceLab) + 4 + textHeight(cell.resultLab) + 8);
    EXPECT_EQ(cell.resultLab.frame().bottom() + 1, height - 8);
    EXPECT_FALSE(cell.hasAnswerLabel());
}

struct StoredLine {
    const char* name;
    std::string source, result, answer;
    QString shownSource;
    bool resultShown;
    bool answerShown;
    int bottomInset;
};

TEST(AiInterviewCellMacTest, AStoredLineShowsItsQuestionTranslationAndAnswer) {
    const StoredLine cases[] = {
        {"plain", "今天天气", "", "", QStringLiteral("今天天气"), false, false, 1},
        {"translated", "今天天气", "The weather", "", QStringLiteral("今天天气"), true, false, 1},
        {"answered", "自我介绍", "", "我是…", QStringLiteral("问题：自我介绍"), false, true, 11},
        {"both", "自我介绍", "Introduce", "我是…", QStringLiteral("问题：自我介绍"), true, true,
         11},
    };
    for (const StoredLine& line : cases) {
        SCOPED_TRACE(line.name);
        AiInterviewCellMac cell;
        TranslationDetailRecord record;
        record.sourceText = line.source;
        record.resultText = line.result;
        record.aiResultText = line.answer;
        cell.setRecord(record);

        EXPECT_EQ(cell.sourceLab.text(), line.shownSource);
        EXPECT_TRUE(cell.sourceLab.attributedText().colors.empty());
        EXPECT_EQ(cell.sourceLab.textColor(), kBlack);
        EXPECT_EQ(cell.sourceLab.font().pixelSize(), 15);
        EXPECT_EQ(cell.resultLab.isHidden(), !line.resultShown);
        EXPECT_EQ(cell.cellLayout().isPlaced(&cell.resultLab), line.resultShown);
        EXPECT_EQ(cell.resultLab.textColor(), kBlack);
        EXPECT_TRUE(cell.hasAnswerLabel());
        EXPECT_EQ(cell.aiAnswerLab.text(),
                  QStringLiteral("回答：") + QString::fromStdString(line.answer));
        EXPECT_EQ(cell.aiAnswerLab.textColor(), kTheme);
        EXPECT_EQ(cell.aiAnswerLab.isHidden(), !line.answerShown);
        // The answer label keeps its place under the others even when hidden.
        const int height = cell.heightForWidth(kWidth);
        EXPECT_EQ(cell.cellLayout().bottomInset(), line.bottomInset);
        EXPECT_EQ(cell.aiAnswerLab.frame().bottom() + 1, height - line.bottomInset);
        const PaintedLabel& above = line.resultShown ? cell.resultLab : cell.sourceLab;
        EXPECT_EQ(cell.aiAnswerLab.frame().top(), above.frame().bottom() + 1 + 4);
    }
}

TEST(AiInterviewCellMacTest, AStoredQuestionShowsItsAnswerBelowIt) {
    AiInterviewCellMac cell;
    AIResponseDetailRecord response;
    response.aiQuestionText = "为什么选择我们";
    response.aiResultText = "";
    cell.setResponse(response);
    EXPECT_EQ(cell.sourceLab.text(), QStringLiteral("问题：为什么选择我们"));
    EXPECT_EQ(cell.sourceLab.textColor(), kBlack);
    EXPECT_TRUE(cell.resultLab.isHidden());
    EXPECT_FALSE(cell.cellLayout().isPlaced(&cell.resultLab));
    EXPECT_TRUE(cell.aiAnswerLab.isHidden());
    EXPECT_EQ(cell.cellLayout().bottomInset(), 1);

    response.aiResultText = "因为……";
    cell.setResponse(response);
    EXPECT_FALSE(cell.resultLab.isHidden());
    EXPECT_EQ(cell.resultLab.text(), QStringLiteral("回答：因为……"));
    EXPECT_EQ(cell.resultLab.textColor(), kTheme);
    EXPECT_TRUE(cell.aiAnswerLab.isHidden());

    // An absent value keeps what is shown.
    cell.setResponse(std::nullopt);
    cell.setRecord(std::nullopt);
    cell.setModel(std::nullopt);
    EXPECT_EQ(cell.resultLab.text(), QStringLiteral("回答：因为……"));
    EXPECT_FALSE(cell.response().has_value());
}

TEST(AiInterviewCellMacTest, TheCellDrawsTheAnswerInTheThemeColour) {
    AiInterviewCellMac cell;
    TranslationDetailRecord record;
    record.sourceText = "问";
    record.aiResultText = "答答答答答答答答";
    cell.setRecord(record);
    QImage image(kWidth, cell.heightForWidth(kWidth), QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        cell.draw(painter, image.rect());
    }
    const QRect answer = cell.aiAnswerLab.frame();
    int teal = 0;
    for (int y = answer.top(); y <= answer.bottom(); ++y) {
        for (int x = answer.left(); x <= answer.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > c.red() + 60 && c.blue() > c.red() + 40) ++teal;
        }
    }
    EXPECT_GT(teal, 20);
}

TEST(AiInterviewCellMacTest, TheAnswerCellAndTheRowTextsNumberTheirRows) {
    AiInterviewAiCellMac cell;
    EXPECT_EQ(cell.identifier(), QStringLiteral("AiInterviewAiCellMac"));
    cell.setPrefixedText(QStringLiteral("3:"), QStringLiteral("回答内容"), 18);
    EXPECT_EQ(cell.sourceLab.text(), QStringLiteral("3:回答内容"));
    EXPECT_EQ(cell.sourceLab.attributedText().colors.at(0).length, 2);
    EXPECT_EQ(cell.heightForWidth(kWidth), 4 + textHeight(cell.sourceLab) + 4);

    const AttributedString answer = answerRowText(9, QStringLiteral("答"), 16);
    EXPECT_EQ(answer.string, QStringLiteral("10:答"));
    ASSERT_EQ(answer.colors.size(), 1u);
    EXPECT_EQ(answer.colors[0].length, 3);
    EXPECT_EQ(answer.font.pixelSize(), 16);

    const auto line = liveLine(7, "句子", "Sentence", 20);
    const AttributedString transcript = transcriptRowText(line);
    EXPECT_EQ(transcript.string, QStringLiteral("7:句子"));
    EXPECT_EQ(transcript.colors.at(0).color, kTheme);
    EXPECT_EQ(transcript.font.pixelSize(), 20);
    const AttributedString translation = translationRowText(line);
    EXPECT_EQ(translation.string, QStringLiteral("Sentence"));
    EXPECT_TRUE(translation.colors.empty());
    // A row text measures as the cell shows it.
    AiInterviewCellMac live;
    live.setModel(line);
    EXPECT_EQ(transcript.heightForWidth(kWidth - 22), textHeight(live.sourceLab));
}

}  // namespace
}  // namespace pex::test
