#include "Tools/ImageView.h"

#include <QPainter>

namespace pex {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {}

ImageView::ImageView(const QPixmap& image, QWidget* parent) : QWidget(parent), image_(image) {}

void ImageView::setImage(const QPixmap& image) {
    image_ = image;
    updateGeometry();
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
    painter.drawPixmap(target, image_, QRectF(image_.rect()));
}

}  // namespace pex
