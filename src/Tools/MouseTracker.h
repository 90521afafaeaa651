#pragma once
// A transparent view attached to a tracked view, covering it, that tells its observer when
// the mouse enters or leaves the tracked view. Enter and leave are the tracked view's, so the
// mouse over one of the view's subviews is still over the view. Each time the tracking is
// (re)installed (the tracker is attached, moved or resized) the observer hears the current
// state again, entered or exited, even when it has not changed.
//
// The tracker takes no clicks itself; the tracked view's subviews stay clickable.
#include <QPointer>
#include <QWidget>

#include "Tools/MouseTrackOption.h"

namespace pex {

class MouseTracker : public QWidget, public MouseTrackable {
    Q_OBJECT
  public:
    // `view` is the tracked view and becomes the tracker's parent.
    explicit MouseTracker(QWidget* view);

    void setTracking(MouseTrackOption option, MouseMoveObserver observer) override;

    MouseTrackOption option() const { return option_; }
    bool hasObserver() const { return static_cast<bool>(observer_); }
    // The last event reported.
    MouseMoveEvent event() const { return event_; }
    // How many times the tracking was installed.
    int installCount() const { return installCount_; }

    // Installs the tracking again and reports whether the mouse is over the view now.
    void updateTrackingAreas();

    void mouseEntered();
    void mouseExited();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void report(MouseMoveEvent event);
    void scheduleUpdate();
    void followView();

    QPointer<QWidget> view_;
    MouseMoveObserver observer_;
    MouseTrackOption option_;
    MouseMoveEvent event_ = MouseMoveEvent::exited;
    int installCount_ = 0;
    bool updatePending_ = false;
};

}  // namespace pex
