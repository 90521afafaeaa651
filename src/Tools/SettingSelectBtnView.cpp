#include "Tools/SettingSelectBtnView.h"

#include <QMouseEvent>

#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "service/ConsoleLog.h"

namespace pex {

SettingSelectBtnView::SettingSelectBtnView(QWidget* parent)
    : LayerBackedView(parent),
      iconImg_(new ImageView(this)),
      titleLab_(makeTextLabel(QString(), this)) {
    titleLab_->setFont(systemFont(13));
    titleLab_->setAlignment(Qt::AlignCenter);
    // The icon lies above the title.
    iconImg_->raise();
    layoutSubviews();
}

void SettingSelectBtnView::bgTap() {
    consoleLog("111");
}

void SettingSelectBtnView::mousePressEvent(QMouseEvent* event) {
    logMouseEvent("SettingSelectBtnView", event);
    event->accept();
}

void SettingSelectBtnView::mouseReleaseEvent(QMouseEvent* event) {
    logMouseEvent("SettingSelectBtnView", event);
    event->accept();
}

void SettingSelectBtnView::layoutSubviews() {
    const int titleHeight = titleLab_->sizeHint().height();
    titleLab_->setGeometry(0, (height() - titleHeight) / 2, width(), titleHeight);
    iconImg_->setGeometry(width() - kIconSide, height() - kIconSide, kIconSide, kIconSide);
}

}  // namespace pex
