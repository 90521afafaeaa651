#pragma once
// A page for widget tests that counts the mouse presses reaching it (and takes them), to show
// that a view lying over it keeps its clicks to itself.
#include <QMouseEvent>
#include <QPalette>
#include <QWidget>

namespace pex::test {

class ClickCountingView : public QWidget {
  public:
    using QWidget::QWidget;

    int clicks = 0;

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        ++clicks;
        event->accept();
    }
};

// Paints `widget`'s background plain white, so that colours read through it are known.
inline void fillWhite(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace pex::test
