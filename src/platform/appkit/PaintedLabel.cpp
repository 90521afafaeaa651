#include "platform/appkit/PaintedLabel.h"

#include <QPainter>

#include "platform/appkit/SystemFont.h"

namespace pex {

PaintedLabel::PaintedLabel() {
    text_.font = systemFont(13);
}

void PaintedLabel::setText(const QString& text) {
    text_.string = text;
    text_.colors.clear();
}

void PaintedLabel::setAttributedText(AttributedString text) {
    text_ = std::move(text);
}

void PaintedLabel::draw(QPainter& painter, QPoint origin) const {
    if (hidden_) return;
    text_.draw(painter, QRectF(frame_.translated(origin)), textColor_);
}

}  // namespace pex
