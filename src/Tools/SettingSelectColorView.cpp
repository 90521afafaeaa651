#include "Tools/SettingSelectColorView.h"

#include <QMouseEvent>

#include "Tools/ViewHelpers.h"
#include "service/ConsoleLog.h"

namespace pex {

SettingSelectColorView::SettingSelectColorView(QWidget* parent)
    : LayerBackedView(parent), colorV_(new LayerBackedView(this)), iconImg_(new ImageView(this)) {
    layoutSubviews();
}

void SettingSelectColorView::bgTap() {
    consoleLog("111");
}

void SettingSelectColorView::mousePressEvent(QMouseEvent* event) {
    logMouseEvent("SettingSelectColorView", event);
    event->accept();
}

void SettingSelectColorView::mouseReleaseEvent(QMouseEvent* event) {
    logMouseEvent("SettingSelectColorView", event);
    event->accept();
}

void SettingSelectColorView::layoutSubviews() {
    colorV_->setGeometry(0, (height() - kSwatchHeight) / 2, kSwatchWidth, kSwatchHeight);
    iconImg_->setGeometry(width() - kIconSide, height() - kIconSide, kIconSide, kIconSide);
}

}  // namespace pex
