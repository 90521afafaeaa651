#include "Tools/CustomSuccessTipView.h"

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {
constexpr int kPictureSide = 60;
constexpr int kPictureTop = 40;
constexpr int kMessageGap = 5;
constexpr int kButtonWidth = 220;
constexpr int kButtonHeight = 40;
constexpr int kButtonBottomInset = 20;
}  // namespace

Color CustomSuccessTipView::tipGreen() {
    return Color::rgb(15 / 255.0, 227 / 255.0, 189 / 255.0);
}

CustomSuccessTipView::CustomSuccessTipView(QWidget* parent)
    : DimmedCardTipView("CustomSuccessTipView", QSize(kCardWidth, kCardHeight), parent),
      bgImg_(new ImageView(AppImages::named(QStringLiteral("success")), bgView())),
      tipLab_(makeTextLabel(QStringLiteral("保存成功"), bgView())),
      sureBtn_(new CustomButton(bgView())) {
    tipLab_->setFont(themeFont15());
    setTextColor(tipLab_, tipGreen());
    tipLab_->setAlignment(Qt::AlignCenter);

    styleButton(sureBtn_, QStringLiteral("确定"), tipGreen());
    ClickGestureRecognizer::attach(sureBtn_, [this](ClickGestureRecognizer&) { didTap1(); });
    layoutSubviews();
}

void CustomSuccessTipView::didTap1() {
    consoleLog("什么鬼");
    removeFromSuperview(this);
}

void CustomSuccessTipView::layoutCard() {
    bgImg_->setGeometry((kCardWidth - kPictureSide) / 2, kPictureTop, kPictureSide, kPictureSide);
    // As wide as its text, centred on the card.
    const QSize message = tipLab_->sizeHint();
    tipLab_->setGeometry((kCardWidth - message.width()) / 2,
                         kPictureTop + kPictureSide + kMessageGap, message.width(),
                         message.height());
    sureBtn_->setGeometry((kCardWidth - kButtonWidth) / 2,
                          kCardHeight - kButtonBottomInset - kButtonHeight, kButtonWidth,
                          kButtonHeight);
}

}  // namespace pex
