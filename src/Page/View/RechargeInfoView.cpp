#include "Page/View/RechargeInfoView.h"

#include "Tools/ColorExtension.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

RechargeInfoView::RechargeInfoView(QWidget* parent)
    : QWidget(parent),
      contentV_(new LayerBackedView),
      titleLabel_(makeTextLabel(QString())),
      subLabel_(makeTextLabel(QString())) {
    contentV_->setLayerBackgroundColor(colorWithHex(0xB2B2B2));
    contentV_->setCornerRadius(10);
    titleLabel_->setFont(systemFont(14, 0.23));
    titleLabel_->setWordWrap(true);
    setTextColor(titleLabel_, Color::grey(1));
    subLabel_->setFont(systemFont(13));
    setTextColor(subLabel_, Color::grey(1));
}

RechargeInfoView::~RechargeInfoView() {
    // Not subviews: the card owns them only while nobody else took them.
    for (QWidget* view : {static_cast<QWidget*>(contentV_), static_cast<QWidget*>(titleLabel_),
                          static_cast<QWidget*>(subLabel_)}) {
        if (!view->parent()) delete view;
    }
}

}  // namespace pex
