#include "platform/appkit/Popover.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/appkit/ViewController.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

Popover::Popover(QObject* parent) : QObject(parent) {}

Popover::~Popover() {
    // The content's view lives in the pop-up window: the controller goes first, then the
    // window with the view.
    delete content_.data();
}

void Popover::setContentViewController(ViewController* controller) {
    assertMainThread("Popover::setContentViewController");
    if (controller == content_) return;
    if (ViewController* old = content_.data()) {
        if (QWidget* oldView = old->viewIfLoaded();
            oldView && window_ && oldView->parentWidget() == window_.get()) {
            oldView->hide();
            oldView->setParent(nullptr);  // deleted with its controller
        }
        old->setParent(nullptr);
        old->deleteLater();
    }
    content_ = controller;
    if (controller) controller->setParent(this);
}

void Popover::show(const QRect& rect, QWidget* view) {
    assertMainThread("Popover::show");
    if (!content_ || !view) return;
    if (!window_) {
        // Qt::Popup closes itself on a click outside, as a transient pop-over does.
        window_ = std::make_unique<QWidget>(nullptr, Qt::Popup | Qt::FramelessWindowHint);
        auto* layout = new QVBoxLayout(window_.get());
        layout->setContentsMargins(0, 0, 0, 0);
    }
    QWidget* content = content_->view();
    if (content->parentWidget() != window_.get()) {
        window_->layout()->addWidget(content);
        content->show();
    }
    window_->adjustSize();
    const QSize size = window_->size();
    const QPoint below =
        view->mapToGlobal(QPoint(rect.center().x() - size.width() / 2, rect.bottom() + 1));
    QPoint origin = below;
    if (const QScreen* screen = view->screen()) {
        const QRect available = screen->availableGeometry();
        if (below.y() + size.height() > available.bottom()) {
            origin.setY(view->mapToGlobal(rect.topLeft()).y() - size.height());
        }
        origin.setX(std::clamp(origin.x(), available.left(),
                               std::max(available.left(), available.right() - size.width())));
    }
    window_->move(origin);
    window_->show();
}

void Popover::close() {
    if (window_) window_->hide();
}

bool Popover::isShown() const {
    return window_ && window_->isVisible();
}

}  // namespace pex
