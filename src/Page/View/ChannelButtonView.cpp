#include "Page/View/ChannelButtonView.h"

#include <QPainter>

#include "Tools/ClickGestureRecognizer.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

ChannelButtonView::ChannelButtonView(QWidget* parent)
    : LayerBackedView(parent),
      subTitleColor_(systemBlackColor()),
      titleLabel_(makeTextLabel(title_, this)),
      subLabel_(makeTextLabel(subTitle_, this)),
      imageView_(new ImageView(this)) {
    setCornerRadius(8);
    setBorderWidth(1);
    setBorderColor(systemGrayColor());
    setLayerBackgroundColor(Color::clear());
    titleLabel_->setFont(systemFont(13));
    setTextColor(titleLabel_, systemBlackColor());
    titleLabel_->setAlignment(Qt::AlignCenter);
    subLabel_->setFont(systemFont(11));
    setTextColor(subLabel_, subTitleColor_);
    subLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    imageView_->hide();
    ClickGestureRecognizer::attach(this, [this](ClickGestureRecognizer&) { viewTapped(); });
    layoutSubviews();
}

Color ChannelButtonView::selectedFillColor() {
    return Color::rgb(214 / 255.0, 242 / 255.0, 236 / 255.0);
}

void ChannelButtonView::setTitle(const QString& title) {
    title_ = title;
    titleLabel_->setText(title);
}

void ChannelButtonView::setSubTitle(const QString& subTitle) {
    subTitle_ = subTitle;
    subLabel_->setText(subTitle);
}

void ChannelButtonView::setSubTitleColor(const Color& color) {
    subTitleColor_ = color;
    setTextColor(subLabel_, color);
}

void ChannelButtonView::setImage(std::optional<QPixmap> image) {
    image_ = std::move(image);
    imageView_->setImage(image_.value_or(QPixmap()));
}

void ChannelButtonView::updateSubtitle(const QString& text, const Color& color) {
    setSubTitle(text);
    setSubTitleColor(color);
}

void ChannelButtonView::viewTapped() {
    // The action may replace onTapAction; run a copy.
    if (const std::function<void()> action = onTapAction) action();
}

void ChannelButtonView::markSelected(bool selected) {
    isSelected_ = selected;
    update();
    imageView_->setVisible(selected);
    setBorderWidth(selected ? 0 : 1);
}

void ChannelButtonView::drawContents(QPainter& painter, const QRect& dirtyRect) {
    // A square fill of the area being drawn: a layer does not clip its contents to its
    // rounded corners.
    if (isSelected_) painter.fillRect(dirtyRect, selectedFillColor().toQColor());
}

void ChannelButtonView::layoutSubviews() {
    const QSize title = titleLabel_->sizeHint();
    const int titleCentreX = width() / 2 - kTitleLeftOfCentre;
    const int titleCentreY = height() / 2;
    titleLabel_->setGeometry(titleCentreX - title.width() / 2, titleCentreY - title.height() / 2,
                             title.width(), title.height());
    // A raised note right after the name.
    const QSize sub = subLabel_->sizeHint();
    subLabel_->setGeometry(titleLabel_->geometry().right() + 1,
                           titleCentreY - kSubtitleRaise - sub.height() / 2, sub.width(),
                           sub.height());
    imageView_->setGeometry(width() - kMarkSide, height() - kMarkSide, kMarkSide, kMarkSide);
}

}  // namespace pex
