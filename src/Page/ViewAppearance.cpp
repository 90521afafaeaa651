#include "Page/ViewAppearance.h"

#include <QEvent>
#include <QWidget>

namespace pex {

ViewAppearance* ViewAppearance::observe(QWidget* view, std::function<void()> willAppear) {
    return new ViewAppearance(view, std::move(willAppear));
}

ViewAppearance::ViewAppearance(QWidget* view, std::function<void()> willAppear)
    : QObject(view), willAppear_(std::move(willAppear)) {
    view->installEventFilter(this);
}

bool ViewAppearance::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Show && !event->spontaneous() &&
        willAppear_) {
        willAppear_();
    }
    return false;
}

}  // namespace pex
