#pragma once
// The lines of an attributed text wrapped to a width, kept between uses so that a text which
// grows at its end (a streamed answer) is never laid out whole again: an update lays out only
// from the start of its last two lines, and drawing lays out only the lines in view. The lines
// and the height are those of AttributedString::heightForWidth / draw for the same text,
// font and width (wrapping at word boundaries, or anywhere in text without spaces).
#include <QRectF>
#include <vector>

#include "platform/appkit/AttributedString.h"

class QPainter;

namespace pex {

class WrappedTextLines {
  public:
    // Wraps `text` to `width`. When the font and the width are those of the last update and
    // the text begins with the last text, the lines before its last two are kept; an equal
    // text changes nothing; anything else is laid out from the start (as is a grown text whose
    // new last lines could change the height of lines before them).
    void update(const AttributedString& text, int width);

    // As AttributedString::heightForWidth: ceil of the lines' height; an empty text is one
    // line high.
    int height() const { return height_; }
    int lineCount() const { return static_cast<int>(lines_.size()); }
    // Where each line begins in the text.
    std::vector<int> lineStarts() const;
    // How many characters the last update laid out (0 when it changed nothing).
    int lastLaidOutCharacters() const { return lastLaidOut_; }
    // Where the lines that the last update laid out begin, from the text's top (the height
    // when it changed nothing): what lies above is drawn as before.
    double changedFromY() const { return changedFromY_; }

    // Draws the text wrapped into `rect` as AttributedString::draw does, laying out only the
    // lines that meet `visible` (same coordinates as `rect`).
    void draw(QPainter& painter, const QRectF& rect, const Color& baseColor,
              const QRectF& visible) const;
    // The part of the painter's device that the current paint event repaints, in the
    // painter's coordinates (the whole device when the engine names no region), within the
    // painter's clip.
    static QRectF visibleRect(const QPainter& painter);

  private:
    struct Line {
        int start = 0;
        double y = 0;
        double height = 0;
        double ascent = 0;
        double descent = 0;
    };
    // The text grew at its end: lays out its last lines again (see the .cpp).
    void growFrom(const AttributedString& text);
    // Lays out the text from character `from` (a line start) at vertical position `y`,
    // appending its lines.
    void layOutFrom(int from, double y);

    AttributedString text_;
    int width_ = -1;
    bool laidOut_ = false;
    bool rightToLeft_ = false;
    std::vector<Line> lines_;
    int height_ = 0;
    int lastLaidOut_ = 0;
    double changedFromY_ = 0;
};

}  // namespace pex
