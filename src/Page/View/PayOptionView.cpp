#include "Page/View/PayOptionView.h"

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

constexpr int kIconLeft = 16;
constexpr int kTitleGap = 12;
constexpr int kMarkRight = 12;

QPixmap imageNamed(const std::optional<QString>& name) {
    return name ? AppImages::named(*name) : QPixmap();
}

}  // namespace

PayOptionView::PayOptionView(const QString& iconName, const QString& title, const QString& subtitle,
                             std::optional<QString> selectedImageName,
                             std::optional<QString> unselectedImageName, QWidget* parent)
    : LayerBackedView(parent),
      iconImageView_(new ImageView(AppImages::named(iconName), this)),
      titleLabel_(makeTextLabel(title, this)),
      subtitleLabel_(makeTextLabel(subtitle, this)),
      rightStatusImageView_(new ImageView(this)),
      selectedImageName_(std::move(selectedImageName)),
      unselectedImageName_(std::move(unselectedImageName)) {
    setLayerBackgroundColor(Color::grey(2.0 / 3.0, 0.2));
    setCornerRadius(12);
    titleLabel_->setFont(systemFont(14));
    setTextColor(titleLabel_, labelColor());
    subtitleLabel_->setFont(systemFont(12));
    setTextColor(subtitleLabel_, secondaryLabelColor());
    ClickGestureRecognizer::attach(this, [this](ClickGestureRecognizer&) { handleClick(); });
    showMark();
}

void PayOptionView::setSelected(bool selected) {
    isSelected_ = selected;
    showMark();
}

void PayOptionView::handleClick() {
    setSelected(!isSelected_);
    if (const auto callback = onClick) callback(isSelected_);
}

void PayOptionView::showMark() {
    rightStatusImageView_->setImage(
        imageNamed(isSelected_ ? selectedImageName_ : unselectedImageName_));
}

void PayOptionView::layoutSubviews() {
    iconImageView_->setGeometry(kIconLeft, (height() - kIconSide) / 2, kIconSide, kIconSide);
    const int textLeft = kIconLeft + kIconSide + kTitleGap;
    const int textWidth = std::max(0, width() - textLeft - kMarkRight - kMarkSide - 4);
    const QSize title = titleLabel_->sizeHint();
    titleLabel_->setGeometry(textLeft, iconImageView_->y() - 2, textWidth, title.height());
    const QSize subtitle = subtitleLabel_->sizeHint();
    subtitleLabel_->setGeometry(textLeft, titleLabel_->geometry().bottom() + 1 + 2, textWidth,
                                subtitle.height());
    rightStatusImageView_->setGeometry(width() - kMarkRight - kMarkSide, (height() - kMarkSide) / 2,
                                       kMarkSide, kMarkSide);
}

}  // namespace pex
