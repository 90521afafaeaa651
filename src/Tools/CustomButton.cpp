#include "Tools/CustomButton.h"

#include <algorithm>

#include "Tools/AppImages.h"
#include "Tools/ViewHelpers.h"

namespace pex {

namespace {
constexpr int kTitleInset = 10;
constexpr int kIconWidth = 10;
constexpr int kIconHeight = 7;
constexpr int kIconRightInset = 5;
}  // namespace

CustomButton::CustomButton(QWidget* parent)
    : ClickKeepingView("CustomButton", parent),
      titleLab_(makeTextLabel(QString(), this)),
      iconImg_(new ImageView(AppImages::named(QStringLiteral("translate_down")), this)) {
    titleLab_->setAlignment(Qt::AlignCenter);
    layoutSubviews();
}

void CustomButton::layoutSubviews() {
    const int titleHeight = titleLab_->sizeHint().height();
    titleLab_->setGeometry(kTitleInset, (height() - titleHeight) / 2,
                           std::max(0, width() - 2 * kTitleInset), titleHeight);
    iconImg_->setGeometry(width() - kIconRightInset - kIconWidth, (height() - kIconHeight) / 2,
                          kIconWidth, kIconHeight);
}

}  // namespace pex
