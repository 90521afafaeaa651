#pragma once
// A click recogniser attached to a view: a left-button press and release inside the view run
// its action. It watches the view's mouse events without taking them, so the view's own
// handling still runs (and may keep the click from the views behind it). Clicks on subviews
// that leave the mouse to their parent count as clicks on the view.
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace pex {

class ClickGestureRecognizer : public QObject {
    Q_OBJECT
  public:
    using Action = std::function<void(ClickGestureRecognizer& recognizer)>;

    // Attaches a new recogniser to `view`; the view owns it. Several may share one view: each
    // runs its action, in the order attached. The action runs while the click is still being
    // delivered: it may take the view off the screen, but deletes it only with deleteLater.
    static ClickGestureRecognizer* attach(QWidget* view, Action action);

    QWidget* view() const { return view_.data(); }
    // Where the last click was let go, in the view's coordinates.
    QPointF locationInView() const { return location_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ClickGestureRecognizer(QWidget* view, Action action);

    QPointer<QWidget> view_;
    Action action_;
    QPointF location_;
    bool pressed_ = false;
};

}  // namespace pex
