#include "Page/View/ChannelButtonView.h"

#include <algorithm>

#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

ChannelButtonView::ChannelButtonView(QWidget* parent)
    : CustomButtonView(parent),
      subTitleColor_(systemBlackColor()),
      subLabel_(makeTextLabel(subTitle_, this)) {
    titleLabel()->setFont(systemFont(13));
    subLabel_->setFont(systemFont(11));
    setTextColor(subLabel_, subTitleColor_);
    subLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Between the name and the selection mark, as the tile draws them.
    subLabel_->stackUnder(imageView());
    layoutSubviews();
}

void ChannelButtonView::setSubTitle(const QString& subTitle) {
    subTitle_ = subTitle;
    subLabel_->setText(subTitle);
}

void ChannelButtonView::setSubTitleColor(const Color& color) {
    subTitleColor_ = color;
    setTextColor(subLabel_, color);
}

void ChannelButtonView::updateSubtitle(const QString& text, const Color& color) {
    setSubTitle(text);
    setSubTitleColor(color);
}

void ChannelButtonView::layoutSubviews() {
    const QSize title = titleLabel()->sizeHint();
    const int titleCentreX = width() / 2 - kTitleLeftOfCentre;
    const int titleCentreY = height() / 2;
    titleLabel()->setGeometry(titleCentreX - title.width() / 2, titleCentreY - title.height() / 2,
                              title.width(), title.height());
    // A raised note right after the name, a label's inset away from it, and kept inside the
    // border: on a low tile the full raise would put it on the top edge.
    const QSize sub = subLabel_->sizeHint();
    const int raisedTop = titleCentreY - kSubtitleRaise - sub.height() / 2;
    subLabel_->setGeometry(titleLabel()->geometry().right() + 1 + kSubtitleGap,
                           std::max(kBorderClearance, raisedTop), sub.width(), sub.height());
    imageView()->setGeometry(width() - kMarkSide, height() - kMarkSide, kMarkSide, kMarkSide);
}

}  // namespace pex
