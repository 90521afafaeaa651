#pragma once
// Lets a window without the window manager's frame be resized from its edges, as the frame
// would let it: within a few pixels of an edge or corner the pointer shows the resize cursor,
// and a press there hands the resize over to the window manager. A maximised window, or one of
// a fixed size, is not resized. It belongs to the window. Main thread only.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <QWindow>

namespace pex {

class WindowEdgeResizer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMargin = 5;

    explicit WindowEdgeResizer(QWidget* window);

    // The edges within `margin` of `position` in a window of `size`: none inside, two at a
    // corner.
    static Qt::Edges edgesAt(QPoint position, QSize size, int margin = kMargin);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Follows the window's native window, which exists once it is shown and may be replaced.
    void attach();
    bool resizable() const;
    void showCursorFor(Qt::Edges edges);

    QPointer<QWidget> window_;
    QPointer<QWindow> attached_;
    bool cursorShown_ = false;
};

}  // namespace pex
