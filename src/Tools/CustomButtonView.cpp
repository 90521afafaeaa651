#include "Tools/CustomButtonView.h"

#include <QPainter>

#include "Tools/ClickGestureRecognizer.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

CustomButtonView::CustomButtonView(QWidget* parent)
    : LayerBackedView(parent),
      titleLabel_(makeTextLabel(title_, this)),
      imageView_(new ImageView(this)) {
    setCornerRadius(8);
    setBorderWidth(1);
    setBorderColor(systemGrayColor());
    setLayerBackgroundColor(Color::clear());
    titleLabel_->setFont(systemFont(14));
    setTextColor(titleLabel_, systemBlackColor());
    titleLabel_->setAlignment(Qt::AlignCenter);
    imageView_->hide();
    ClickGestureRecognizer::attach(this, [this](ClickGestureRecognizer&) { viewTapped(); });
    layoutSubviews();
}

Color CustomButtonView::selectedFillColor() {
    return Color::rgb(214 / 255.0, 242 / 255.0, 236 / 255.0);
}

void CustomButtonView::setTitle(const QString& title) {
    title_ = title;
    titleLabel_->setText(title);
}

void CustomButtonView::setImage(std::optional<QPixmap> image) {
    image_ = std::move(image);
    imageView_->setImage(image_.value_or(QPixmap()));
}

void CustomButtonView::viewTapped() {
    // The action may replace onTapAction (a group taking the tile over); run a copy.
    if (const std::function<void()> action = onTapAction) action();
}

void CustomButtonView::markSelected(bool selected) {
    isSelected_ = selected;
    update();
    imageView_->setVisible(selected);
    setBorderWidth(selected ? 0 : 1);
}

void CustomButtonView::drawContents(QPainter& painter, const QRect& dirtyRect) {
    // A fill of the whole area being drawn, square: a layer does not clip its contents to its
    // rounded corners.
    if (isSelected_) painter.fillRect(dirtyRect, selectedFillColor().toQColor());
}

void CustomButtonView::layoutSubviews() {
    const QSize title = titleLabel_->sizeHint();
    titleLabel_->setGeometry((width() - title.width()) / 2, (height() - title.height()) / 2,
                             title.width(), title.height());
    imageView_->setGeometry(width() - kMarkSide, height() - kMarkSide, kMarkSide, kMarkSide);
}

}  // namespace pex
