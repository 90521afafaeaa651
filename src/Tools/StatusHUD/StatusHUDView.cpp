#include "Tools/StatusHUD/StatusHUDView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "Tools/StatusHUD/StatusHUD.h"

namespace pex {

StatusHUDView::StatusHUDView(StatusHUD& hud) : hud_(hud) {}

void StatusHUDView::followHost(QWidget* host) {
    if (followed_ == host) return;
    if (followed_) followed_->removeEventFilter(this);
    followed_ = host;
    if (followed_) followed_->installEventFilter(this);
}

void StatusHUDView::paintEvent(QPaintEvent* event) {
    // Settings changed since the last show (position, margin, padding) take effect on the next
    // drawing pass, as the box is laid out afresh each time it is drawn.
    hud_.layoutFrame();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    hud_.drawRect(painter, QRectF(event->rect()));
}

namespace {

void sendMouseEvent(const QWidget& overlay, const QMouseEvent& original, QWidget* target) {
    const QPointF global = overlay.mapToGlobal(original.position());
    QMouseEvent copy(original.type(), target->mapFromGlobal(global), global, original.button(),
                     original.buttons(), original.modifiers());
    QCoreApplication::sendEvent(target, &copy);
}

}  // namespace

void StatusHUDView::mousePressEvent(QMouseEvent* event) {
    hud_.mouseDown(event);
    QWidget* host = parentWidget();
    if (event->isAccepted() || !host) return;
    // Without a mask the click goes on to the view the HUD lies over, as a click on the window
    // would, but never to a control beneath the HUD: a busy HUD over "登录" must not let the
    // button be pressed again. Qt would only pass an ignored press up the parent chain, so
    // the press (and later its release) is handed to the host directly.
    clickTarget_ = host;
    event->accept();
    sendMouseEvent(*this, *event, clickTarget_);
}

void StatusHUDView::mouseReleaseEvent(QMouseEvent* event) {
    if (QWidget* target = clickTarget_.data()) {
        clickTarget_.clear();
        sendMouseEvent(*this, *event, target);
    }
}

bool StatusHUDView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == followed_ && event->type() == QEvent::Resize && !isHidden()) hud_.layoutFrame();
    return QWidget::eventFilter(watched, event);
}

}  // namespace pex
