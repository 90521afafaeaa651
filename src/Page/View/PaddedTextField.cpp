#include "Page/View/PaddedTextField.h"

#include <QPainter>

namespace pex {

PaddedTextField::PaddedTextField(QWidget* parent) : QLineEdit(parent) {}

QSize PaddedTextField::sizeHint() const {
    const QSize base = QLineEdit::sizeHint();
    return {base.width() + insets_.left() + insets_.right(),
            base.height() + insets_.top() + insets_.bottom()};
}

void PaddedTextField::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    // Each side loses both insets of its axis, as the field has always drawn it.
    const int horizontal = insets_.left() + insets_.right();
    const int vertical = insets_.top() + insets_.bottom();
    const QRect inner = rect().adjusted(horizontal, vertical, -horizontal, -vertical);
    QPainter painter(this);
    painter.setFont(font());
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, text());
}

}  // namespace pex
