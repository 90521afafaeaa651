#include "Tools/HomeTipNoView.h"

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/EscapeToClose.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kEdgeInset = 20;
constexpr int kCloseSide = 20;
constexpr int kCloseRightInset = 10;
constexpr int kIconSide = 40;
constexpr int kIconAboveCentre = 40;
constexpr int kMessageGap = 20;
constexpr int kButtonWidth = 268;
constexpr int kButtonHeight = 40;
constexpr int kButtonGap = 40;
}  // namespace

// Added in this order, later ones above earlier ones: the dimmed area, the card, then on the
// card the background picture, the close mark, the heading, the icon, the message, the button.
HomeTipNoView::HomeTipNoView(QWidget* parent)
    : DimmedCardTipView("HomeTipNoView", QSize(kCardWidth, kCardHeight), parent),
      bgImg_(new ImageView(AppImages::named(QStringLiteral("tip_bg1")), bgView())),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), bgView())),
      tip1Lab_(makeTextLabel(QStringLiteral("提示"), bgView())),
      iconImg_(new ImageView(AppImages::named(QStringLiteral("tishi_r")), bgView())),
      tipLab_(makeTextLabel(QStringLiteral("您的余额不足，请充值"), bgView())),
      sureBtn_(new CustomButton(bgView())) {
    tip1Lab_->setFont(themeFont15());
    setTextColor(tip1Lab_, themeTextColor());
    tip1Lab_->setAlignment(Qt::AlignCenter);

    tipLab_->setFont(systemFont(20, 1.0));
    setTextColor(tipLab_, themeTextColor());
    tipLab_->setAlignment(Qt::AlignCenter);

    styleButton(sureBtn_, QStringLiteral("立即充值"), Color::grey(0));

    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { didTap1(); });
    ClickGestureRecognizer::attach(sharedView(), [this](ClickGestureRecognizer&) { didTap1(); });
    EscapeToClose::attach(this, [this] { didTap1(); });
    ClickGestureRecognizer::attach(bgView(), [this](ClickGestureRecognizer&) { didTap(); });
    layoutSubviews();
}

void HomeTipNoView::didTap() {}

void HomeTipNoView::didTap1() {
    removeFromSuperview(this);
}

void HomeTipNoView::layoutCard() {
    bgImg_->setGeometry(0, 0, kCardWidth, kCardHeight);
    closeImg_->setGeometry(kCardWidth - kCloseRightInset - kCloseSide, kEdgeInset, kCloseSide,
                           kCloseSide);
    tip1Lab_->setGeometry(QRect(QPoint(kEdgeInset, kEdgeInset), tip1Lab_->sizeHint()));
    const int iconCentreY = kCardHeight / 2 - kIconAboveCentre;
    iconImg_->setGeometry((kCardWidth - kIconSide) / 2, iconCentreY - kIconSide / 2, kIconSide,
                          kIconSide);
    const QSize message = tipLab_->sizeHint();
    const int messageTop = iconImg_->geometry().bottom() + 1 + kMessageGap;
    tipLab_->setGeometry((kCardWidth - message.width()) / 2, messageTop, message.width(),
                         message.height());
    sureBtn_->setGeometry((kCardWidth - kButtonWidth) / 2,
                          messageTop + message.height() + kButtonGap, kButtonWidth, kButtonHeight);
}

}  // namespace pex
