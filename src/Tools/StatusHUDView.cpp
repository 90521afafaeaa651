#include "Tools/StatusHUDView.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "Tools/StatusHUD.h"

namespace pex {

StatusHUDView::StatusHUDView(StatusHUD& hud) : hud_(hud) {}

void StatusHUDView::followHost(QWidget* host) {
    if (followed_ == host) return;
    if (followed_) followed_->removeEventFilter(this);
    followed_ = host;
    if (followed_) followed_->installEventFilter(this);
}

void StatusHUDView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    hud_.drawRect(painter, QRectF(event->rect()));
}

void StatusHUDView::mousePressEvent(QMouseEvent* event) {
    hud_.mouseDown(event);
}

bool StatusHUDView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == followed_ && event->type() == QEvent::Resize && !isHidden()) hud_.layoutFrame();
    return QWidget::eventFilter(watched, event);
}

}  // namespace pex
