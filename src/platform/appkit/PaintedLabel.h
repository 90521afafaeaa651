#pragma once
// A wrapping text label that a painted cell draws itself, with no widget of its own: an
// attributed text, a text colour for what the text's runs leave uncoloured, and a hidden flag.
// Its frame is set by the cell's layout.
#include <QRect>

#include "platform/appkit/AttributedString.h"

class QPainter;

namespace pex {

class PaintedLabel {
  public:
    PaintedLabel();

    const QString& text() const { return text_.string; }
    // A plain text: drops the colour runs of an earlier attributed text.
    void setText(const QString& text);
    const AttributedString& attributedText() const { return text_; }
    void setAttributedText(AttributedString text);

    // The font of the whole text.
    const QFont& font() const { return text_.font; }
    void setFont(const QFont& font) { text_.font = font; }

    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& color) { textColor_ = color; }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }

    const QRect& frame() const { return frame_; }
    void setFrame(const QRect& frame) { frame_ = frame; }

    int heightForWidth(int width) const { return text_.heightForWidth(width); }
    // Draws the text in its frame, offset by `origin`; a hidden label draws nothing.
    void draw(QPainter& painter, QPoint origin) const;

  private:
    AttributedString text_;
    Color textColor_;
    bool hidden_ = false;
    QRect frame_;
};

}  // namespace pex
