#include "Tools/TailTruncatingLabel.h"

#include <QPainter>

namespace pex {

TailTruncatingLabel::TailTruncatingLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

QString TailTruncatingLabel::displayedText() const {
    // One line: line breaks in the text show as spaces.
    QString line = text();
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return fontMetrics().elidedText(line, Qt::ElideRight, contentsRect().width());
}

QSize TailTruncatingLabel::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}

void TailTruncatingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), static_cast<int>(alignment()) | Qt::TextSingleLine,
                     displayedText());
}

}  // namespace pex
