#include "Tools/LayerBackedView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

namespace pex {

LayerBackedView::LayerBackedView(QWidget* parent) : QWidget(parent) {}

void LayerBackedView::setLayerBackgroundColor(std::optional<Color> color) {
    background_ = color;
    update();
}

void LayerBackedView::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    update();
}

void LayerBackedView::setBorderWidth(double width) {
    borderWidth_ = width;
    update();
}

void LayerBackedView::setBorderColor(const Color& color) {
    borderColor_ = color;
    update();
}

void LayerBackedView::drawContents(QPainter&, const QRect&) {}

void LayerBackedView::layoutSubviews() {}

bool LayerBackedView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::LayoutRequest:
            layoutSubviews();
            break;
        default:
            break;
    }
    return handled;
}

void LayerBackedView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    if (background_ && background_->alphaComponent() > 0) {
        QPainterPath path;
        path.addRoundedRect(bounds, cornerRadius_, cornerRadius_);
        painter.fillPath(path, background_->toQColor());
    }
    painter.save();
    drawContents(painter, event->rect());
    painter.restore();
    if (borderWidth_ > 0 && borderColor_.alphaComponent() > 0) {
        // The border lies inside the bounds, as a layer draws it.
        const double inset = borderWidth_ / 2;
        const QRectF inner = bounds.adjusted(inset, inset, -inset, -inset);
        const double radius = std::max(0.0, cornerRadius_ - inset);
        QPen pen(borderColor_.toQColor());
        pen.setWidthF(borderWidth_);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner, radius, radius);
    }
}

}  // namespace pex
