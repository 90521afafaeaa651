#include "Tools/MouseTracker.h"

#include <QCursor>
#include <QEvent>
#include <QMouseEvent>

namespace pex {

MouseTracker::MouseTracker(QWidget* view) : QWidget(view), view_(view) {
    // Draws nothing and takes no clicks: it only watches.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    if (view) {
        view->installEventFilter(this);
        followView();
    }
    raise();
    show();
    scheduleUpdate();
}

void MouseTracker::setTracking(MouseTrackOption option, MouseMoveObserver observer) {
    option_ = option;
    observer_ = std::move(observer);
}

void MouseTracker::followView() {
    if (view_) setGeometry(view_->rect());
}

void MouseTracker::scheduleUpdate() {
    // Re-installation is coalesced and done from the event loop, after the change that asked
    // for it is complete, as the windowing system does.
    if (updatePending_) return;
    updatePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updatePending_ = false;
            updateTrackingAreas();
        },
        Qt::QueuedConnection);
}

void MouseTracker::updateTrackingAreas() {
    ++installCount_;
    if (!view_ || !view_->isVisible()) return;
    const QPoint mouse = mapFromGlobal(QCursor::pos());
    if (rect().contains(mouse)) {
        mouseEntered();
    } else {
        mouseExited();
    }
}

void MouseTracker::mouseEntered() {
    report(MouseMoveEvent::entered);
}

void MouseTracker::mouseExited() {
    report(MouseMoveEvent::exited);
}

void MouseTracker::report(MouseMoveEvent event) {
    event_ = event;
    // The observer may replace itself (a new trackMouse from inside it); run a copy.
    if (const MouseMoveObserver observer = observer_) observer(event);
}

bool MouseTracker::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_.data()) return false;
    switch (event->type()) {
        case QEvent::Enter:
            mouseEntered();
            break;
        case QEvent::Leave:
            mouseExited();
            break;
        case QEvent::MouseButtonPress:
            if (option_.contains(MouseTrackOption::exitOnMouseDown())) mouseExited();
            break;
        case QEvent::Resize:
            followView();
            break;
        case QEvent::Show:
        case QEvent::Hide:
            scheduleUpdate();
            break;
        default:
            break;
    }
    return false;
}

bool MouseTracker::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            scheduleUpdate();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

}  // namespace pex
