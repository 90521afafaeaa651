#pragma once
// A window's title bar drawn by the window itself, over the window's own background: the
// design's transparent title bar, through which the window's translucent colour shows. The
// window manager's frame is switched off for it, so the bar carries what the frame did: the
// title, centred; the window's controls (minimise, zoom, close) at its right end; dragging it
// moves the window and a double click zooms it; the window's edges resize it
// (WindowEdgeResizer). Main thread only.
//
//     TransparentTitleBar::install(window, QColor(0x1D, 0x1E, 0x1F, 179));
#include <QColor>
#include <QPoint>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QMainWindow;

namespace pex {

class TransparentTitleBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kHeight = 28;

    // Puts a bar of `background` above the content of `window` (in its menu bar's place, so the
    // content keeps its size) and switches the window manager's frame off. Call before the
    // window is shown.
    static TransparentTitleBar* install(QMainWindow* window, QColor background);

    QLabel* titleLabel() const { return title_; }
    QAbstractButton* minimizeButton() const { return minimize_; }
    QAbstractButton* zoomButton() const { return zoom_; }
    QAbstractButton* closeButton() const { return close_; }

    QSize sizeHint() const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    TransparentTitleBar(QWidget* window, QColor background);
    void toggleZoom();

    QLabel* title_;
    QAbstractButton* minimize_;
    QAbstractButton* zoom_;
    QAbstractButton* close_;
    // Where the pointer holds the window while it is dragged by hand (when the window manager
    // does not take the move over).
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace pex
