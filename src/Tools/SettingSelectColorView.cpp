#include "Tools/SettingSelectColorView.h"

namespace pex {

SettingSelectColorView::SettingSelectColorView(QWidget* parent)
    : ClickKeepingView("SettingSelectColorView", parent),
      colorV_(new LayerBackedView(this)),
      iconImg_(new ImageView(this)) {
    layoutSubviews();
}

void SettingSelectColorView::layoutSubviews() {
    colorV_->setGeometry(0, (height() - kSwatchHeight) / 2, kSwatchWidth, kSwatchHeight);
    iconImg_->setGeometry(width() - kIconSide, height() - kIconSide, kIconSide, kIconSide);
}

}  // namespace pex
