#include "Tools/SettingSelectBtnView.h"

#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

SettingSelectBtnView::SettingSelectBtnView(QWidget* parent)
    : ClickKeepingView("SettingSelectBtnView", parent),
      iconImg_(new ImageView(this)),
      titleLab_(makeTextLabel(QString(), this)) {
    titleLab_->setFont(systemFont(13));
    titleLab_->setAlignment(Qt::AlignCenter);
    // The icon lies above the title.
    iconImg_->raise();
    layoutSubviews();
}

void SettingSelectBtnView::layoutSubviews() {
    const int titleHeight = titleLab_->sizeHint().height();
    titleLab_->setGeometry(0, (height() - titleHeight) / 2, width(), titleHeight);
    iconImg_->setGeometry(width() - kIconSide, height() - kIconSide, kIconSide, kIconSide);
}

}  // namespace pex
