#pragma once
// A text with one font over the whole and runs of characters that carry a colour of their own;
// characters outside every run draw in the colour of whoever draws the text (a label's text
// colour). Measured and drawn wrapped to a width, breaking between words or, for text without
// spaces such as Chinese, anywhere; a line feed always ends a line.
#include <QFont>
#include <QString>
#include <vector>

#include "platform/appkit/Color.h"

class QPainter;
class QRectF;

namespace pex {

struct AttributedString {
    struct ColorRun {
        int start = 0;
        int length = 0;
        Color color;
        bool operator==(const ColorRun&) const = default;
    };

    QString string;
    QFont font;
    std::vector<ColorRun> colors;

    // Gives `length` characters from `start` the colour; an empty run is not kept.
    void addColor(const Color& color, int start, int length);
    // The colour that a run gives the character at `index`, if any.
    const Color* colorAt(int index) const;

    // `string` as it is laid out: a line feed ends its line (Qt's text layout breaks only at
    // a line separator), the length unchanged.
    static QString laidOutString(const QString& string);

    // `string` cut so that, wrapped to `width`, it takes at most `maxLines` lines: a text
    // that needs more ends in "…" after the last whole character that fits.
    QString elidedToLines(int width, int maxLines) const;

    // The height the text needs when wrapped to `width`; an empty text is one line high.
    int heightForWidth(int width) const;
    // Draws the text wrapped to `rect`'s width from its top left, in `baseColor` outside runs.
    void draw(QPainter& painter, const QRectF& rect, const Color& baseColor) const;
};

}  // namespace pex
