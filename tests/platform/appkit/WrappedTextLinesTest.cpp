// Kept text lines: a text that grows at its end gets the height and the drawing of the text laid
// out whole, while only its last lines are laid out again, and drawing lays out only the
// lines in view.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/appkit/SystemFont.h"
#include "platform/appkit/WrappedTextLines.h"

namespace pex::test {
namespace {

// An answer as the service streams it: Chinese with punctuation, English words and numbers,
// line breaks, spaces, a long word.
const QString kAnswer = QStringLiteral(
    "好的，我来回答这个问题。首先，我在上一家公司负责 React 和 TypeScript 前端架构，"
    "带领 5 人团队完成了 3 个大型项目的重构，性能提升了 40%。\n其次，我熟悉 Node.js、"
    "GraphQL 以及 CI/CD 流程（例如 GitHub Actions），也做过 end-to-end testing with "
    "Playwright and Cypress. Supercalifragilisticexpialidocious-identifiers aside, "
    "我重视代码质量与可维护性！\n\n最后：为什么选择贵公司？因为“产品驱动”的文化……");

// Where the lines of `text` laid out whole begin.
std::vector<int> wholeLineStarts(const AttributedString& text, int width) {
    QTextLayout layout(AttributedString::laidOutString(text.string), text.font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    std::vector<int> starts;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1, width));
        starts.push_back(line.textStart());
    }
    layout.endLayout();
    return starts;
}

AttributedString prefixed(const QString& text, int points) {
    AttributedString s;
    s.string = QStringLiteral("12:") + text;
    s.font = systemFont(points);
    s.addColor(Color::rgb(0.1, 0.8, 0.68), 0, 3);
    return s;
}

TEST(WrappedTextLines, AGrowingTextHasTheHeightOfTheWholeTextAtEveryStep) {
    for (const int width : {1, 37, 120, 333, 900}) {
        for (const int points : {14, 18}) {
            SCOPED_TRACE(std::to_string(width) + " wide, " + std::to_string(points) + " pt");
            WrappedTextLines lines;
            QString text;
            int step = 0;

            // Pieces of one to five characters, as a stream delivers them.
            for (int at = 0; at < kAnswer.size() * 2; ++step) {
                const int piece = 1 + step % 5;
                text += (kAnswer + kAnswer).mid(at, piece);
                at += piece;
                const AttributedString whole = prefixed(text, points);
                lines.update(whole, width);
                ASSERT_EQ(lines.height(), whole.heightForWidth(width)) << text.toStdString();
                ASSERT_EQ(lines.lineStarts(), wholeLineStarts(whole, width));
            }
        }
    }
}

TEST(WrappedTextLines, RandomMixedTextsGrowToTheHeightsOfTheWholeTexts) {
    // Words of several scripts and fonts, numbers, punctuation, spaces, line feeds and a
    // character outside the basic plane, streamed in pieces of random size.
    const std::vector<QString> words = {QStringLiteral("好的"),
                                        QStringLiteral("我们"),
                                        QStringLiteral("，"),
                                        QStringLiteral("。"),
                                        QStringLiteral("React"),
                                        QStringLiteral(" "),
                                        QStringLiteral("  "),
                                        QStringLiteral("\n"),
                                        QStringLiteral("\n\n"),
                                        QStringLiteral("42"),
                                        QStringLiteral("3.14"),
                                        QStringLiteral("、"),
                                        QStringLiteral("（例如）"),
                                        QStringLiteral("end-to-end"),
                                        QStringLiteral("Привет"),
                                        QStringLiteral("αβγ"),
                                        QStringLiteral("😀"),
                                        QStringLiteral("“引用”"),
                                        QStringLiteral("1. "),
                                        QStringLiteral("-"),
                                        QStringLiteral("Supercalifragilisticexpialidocious"),
                                        QStringLiteral("……"),
                                        QStringLiteral("にほんご"),
                                        QStringLiteral("한국어")};
    std::uint32_t seed = 24;
    auto next = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    for (int text = 0; text < 12; ++text) {
        QString whole;
        while (whole.size() < 400) whole += words[next(static_cast<std::uint32_t>(words.size()))];
        for (const int width : {23, 140, 410}) {
            SCOPED_TRACE(std::to_string(text) + " at " + std::to_string(width));
            WrappedTextLines lines;
            for (int at = 0; at < whole.size();) {
                at = std::min(static_cast<int>(whole.size()), at + 1 + static_cast<int>(next(9)));
                // Never split a character outside the basic plane.
                if (at < whole.size() && whole.at(at).isLowSurrogate()) ++at;
                const AttributedString grown = prefixed(whole.left(at), 15);
                lines.update(grown, width);
                ASSERT_EQ(lines.height(), grown.heightForWidth(width))
                    << at << " [" << whole.left(at).toStdString() << "]";
                ASSERT_EQ(lines.lineStarts(), wholeLineStarts(grown, width))
                    << at << " [" << whole.left(at).toStdString() << "]";
            }
        }
    }
}

TEST(WrappedTextLines, ALineFeedEndsALine) {
    AttributedString one;
    one.font = systemFont(14);
    one.string = QStringLiteral("第一段");
    AttributedString two = one;
    two.string = QStringLiteral("第一段\n第二段");
    AttributedString three = one;
    three.string = QStringLiteral("第一段\n\n第三段");
    const int line = one.heightForWidth(600);
    EXPECT_EQ(two.heightForWidth(600), 2 * line);
    EXPECT_EQ(three.heightForWidth(600), 3 * line);
    WrappedTextLines lines;
    lines.update(three, 600);
    EXPECT_EQ(lines.lineCount(), 3);
    EXPECT_EQ(lines.height(), 3 * line);
}

TEST(WrappedTextLines, GrowingLaysOutOnlyTheLastLines) {
    WrappedTextLines lines;
    QString text = kAnswer + kAnswer + kAnswer;
    lines.update(prefixed(text, 14), 300);
    ASSERT_GT(lines.lineCount(), 20);
    EXPECT_EQ(lines.lastLaidOutCharacters(), text.size() + 3);
    text += QStringLiteral("好");
    lines.update(prefixed(text, 14), 300);
    EXPECT_GT(lines.lastLaidOutCharacters(), 0);
    EXPECT_LT(lines.lastLaidOutCharacters(), 120);  // two lines at most
    // The same text again lays out nothing; another width, font or beginning lays out all.
    lines.update(prefixed(text, 14), 300);
    EXPECT_EQ(lines.lastLaidOutCharacters(), 0);
    lines.update(prefixed(text, 14), 301);
    EXPECT_EQ(lines.lastLaidOutCharacters(), text.size() + 3);
    lines.update(prefixed(text, 15), 301);
    EXPECT_EQ(lines.lastLaidOutCharacters(), text.size() + 3);
    lines.update(prefixed(QStringLiteral("另") + text, 15), 301);
    EXPECT_EQ(lines.lastLaidOutCharacters(), text.size() + 4);
    // A text with right-to-left characters is laid out whole.
    lines.update(prefixed(text + QStringLiteral("שלום"), 14), 300);
    lines.update(prefixed(text + QStringLiteral("שלום好"), 14), 300);
    EXPECT_EQ(lines.lastLaidOutCharacters(), text.size() + 3 + 5);
    // An empty text is one line high, as AttributedString measures it.
    AttributedString empty;
    empty.font = systemFont(14);
    lines.update(empty, 300);
    EXPECT_EQ(lines.height(), empty.heightForWidth(300));
}

TEST(WrappedTextLines, DrawsWhatTheWholeTextDrawsWhereverItIsSeen) {
    for (const QString& body :
         {kAnswer + kAnswer,
          QStringLiteral(
              "3.143.14、……\n\n한국어  -3 “引用”end-to-end 42，我们3.143.14 我们（例如）") +
              kAnswer + QStringLiteral("Привет αβγ 😀 にほんご")}) {
        const AttributedString text = prefixed(body, 16);
        const int width = 260;
        WrappedTextLines lines;
        lines.update(text, width);
        const QRectF rect(11, 4, width, lines.height());
        auto render = [&](const QRect& view, bool kept) {
            // A view onto a part of the text, as a table's viewport shows part of a tall row.
            QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::black);
            QPainter painter(&image);
            painter.translate(-view.topLeft());
            if (kept) {
                lines.draw(painter, rect, Color::grey(1), WrappedTextLines::visibleRect(painter));
            } else {
                text.draw(painter, rect, Color::grey(1));
            }
            return image;
        };
        for (const int top : {0, 7, 150, lines.height() / 2, lines.height() - 90}) {
            SCOPED_TRACE(top);
            const QRect view(0, top, width + 22, 120);
            EXPECT_EQ(render(view, true), render(view, false));
        }
    }
}

}  // namespace
}  // namespace pex::test
