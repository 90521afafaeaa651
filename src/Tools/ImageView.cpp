#include "Tools/ImageView.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace pex {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {}

ImageView::ImageView(const QPixmap& image, QWidget* parent) : QWidget(parent), image_(image) {}

void ImageView::setImage(const QPixmap& image) {
    image_ = image;
    updateGeometry();
    update();
}

void ImageView::setCornerRadius(double radius) {
    cornerRadius_ = std::max(0.0, radius);
    update();
}

QSize ImageView::sizeHint() const {
    if (image_.isNull()) return QSize(0, 0);
    return (QSizeF(image_.size()) / image_.devicePixelRatio()).toSize();
}

void ImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull() || width() <= 0 || height() <= 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF natural = QSizeF(image_.size()) / image_.devicePixelRatio();
    const QSizeF fitted = natural.scaled(QSizeF(size()), Qt::KeepAspectRatio);
    const QRectF target((width() - fitted.width()) / 2, (height() - fitted.height()) / 2,
                        fitted.width(), fitted.height());
    if (cornerRadius_ <= 0) {
        painter.drawPixmap(target, image_, QRectF(image_.rect()));
        return;
    }
    // A clip path would cut the edge pixel by pixel; the picture is instead drawn into the
    // rounded shape painted with antialiasing, so the edge blends into what lies beneath.
    const qreal scale = devicePixelRatioF();
    QImage rounded((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    rounded.setDevicePixelRatio(scale);
    rounded.fill(Qt::transparent);
    {
        QPainter shape(&rounded);
        shape.setRenderHint(QPainter::Antialiasing);
        shape.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
        shape.fillPath(outline, Qt::black);
        shape.setCompositionMode(QPainter::CompositionMode_SourceIn);
        shape.drawPixmap(target, image_, QRectF(image_.rect()));
    }
    painter.drawImage(QPointF(0, 0), rounded);
}

}  // namespace pex
