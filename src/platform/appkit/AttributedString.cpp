#include "platform/appkit/AttributedString.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace pex {

namespace {

// Lays `text` out in lines of `width`; answers the height of all lines.
double layOut(QTextLayout& layout, double width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

}  // namespace

QString AttributedString::laidOutString(const QString& string) {
    QString shown = string;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return shown;
}

void AttributedString::addColor(const Color& color, int start, int length) {
    if (length <= 0) return;
    colors.push_back({start, length, color});
}

const Color* AttributedString::colorAt(int index) const {
    // Later runs win, as a later attribute replaces an earlier one.
    for (auto run = colors.rbegin(); run != colors.rend(); ++run) {
        if (index >= run->start && index < run->start + run->length) return &run->color;
    }
    return nullptr;
}

QString AttributedString::elidedToLines(int width, int maxLines) const {
    auto linesOf = [&](const QString& text, int* endOfLast) {
        QTextLayout layout(laidOutString(text), font);
        layOut(layout, width);
        if (endOfLast && layout.lineCount() > maxLines && maxLines > 0) {
            const QTextLine last = layout.lineAt(maxLines - 1);
            *endOfLast = last.textStart() + last.textLength();
        }
        return layout.lineCount();
    };
    int fitting = 0;
    if (maxLines <= 0 || linesOf(string, &fitting) <= maxLines) return string;
    const QString ellipsis(QChar(0x2026));
    QString kept = string.left(fitting);
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, kept);
    // Characters come off the end until the ellipsis fits on the last line too.
    for (;;) {
        while (!kept.isEmpty() && kept.back().isSpace()) kept.chop(1);
        if (kept.isEmpty() || linesOf(kept + ellipsis, nullptr) <= maxLines) break;
        boundaries.setPosition(static_cast<int>(kept.size()));
        kept.truncate(std::max<qsizetype>(0, boundaries.toPreviousBoundary()));
    }
    return kept + ellipsis;
}

int AttributedString::heightForWidth(int width) const {
    if (string.isEmpty()) return static_cast<int>(std::ceil(QFontMetricsF(font).height()));
    QTextLayout layout(laidOutString(string), font);
    return static_cast<int>(std::ceil(layOut(layout, width)));
}

void AttributedString::draw(QPainter& painter, const QRectF& rect, const Color& baseColor) const {
    if (string.isEmpty()) return;
    QTextLayout layout(laidOutString(string), font);
    QList<QTextLayout::FormatRange> formats;
    for (const ColorRun& run : colors) {
        QTextLayout::FormatRange range;
        range.start = run.start;
        range.length = run.length;
        range.format.setForeground(run.color.toQColor());
        formats.append(range);
    }
    layout.setFormats(formats);
    layOut(layout, rect.width());
    painter.save();
    painter.setPen(baseColor.toQColor());
    layout.draw(&painter, rect.topLeft());
    painter.restore();
}

}  // namespace pex
