#include "Tools/ClickGestureRecognizer.h"

#include <QMouseEvent>

namespace pex {

ClickGestureRecognizer* ClickGestureRecognizer::attach(QWidget* view, Action action) {
    if (!view) return nullptr;
    return new ClickGestureRecognizer(view, std::move(action));
}

ClickGestureRecognizer::ClickGestureRecognizer(QWidget* view, Action action)
    : QObject(view), view_(view), action_(std::move(action)) {
    view->installEventFilter(this);
}

bool ClickGestureRecognizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_.data()) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) pressed_ = true;
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !pressed_) break;
            pressed_ = false;
            location_ = mouse->position();
            if (QRectF(view_->rect()).contains(location_) && action_) {
                // The action may replace this recogniser's view; keep what it runs alive.
                const Action action = action_;
                action(*this);
            }
            break;
        }
        case QEvent::Hide:
            pressed_ = false;
            break;
        default:
            break;
    }
    return false;
}

}  // namespace pex
