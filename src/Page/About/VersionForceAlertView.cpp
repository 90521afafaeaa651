#include "Page/About/VersionForceAlertView.h"

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/EscapeToClose.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"

namespace pex {

namespace {
constexpr int kInset = 20;
constexpr int kCloseSide = 20;
constexpr int kCloseRightInset = 10;
constexpr int kIconSide = 40;
constexpr int kIconGap = 30;
constexpr int kTextGap = 10;
constexpr int kTextWidth = 272;
constexpr int kButtonGap = 20;
constexpr int kButtonWidth = 200;
constexpr int kButtonHeight = 40;

Color alertGreen() {
    return colorWithHex(0x0FE3BD);
}

QLabel* makeWrappingLabel(const QString& text, QWidget* parent) {
    QLabel* label = makeTextLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    return label;
}
}  // namespace

VersionForceAlertView::VersionForceAlertView(QWidget* parent)
    : DimmedCardTipView("VersionForceAlertView", QSize(kCardWidth, kCardHeight), parent),
      tip1Lab_(nullptr),
      bgImg_(new ImageView(AppImages::named(QStringLiteral("tip_bg")), bgView())),
      iconImg_(new ImageView(bgView())),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), bgView())),
      tipLab_(nullptr),
      sureBtn_(nullptr) {
    // The card's subviews in the order they lie on it: picture, close icon, title, icon,
    // release text, button.
    setIcon(QStringLiteral("tishi_l"));
    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { didTap1(); });
    closeImg_->setAccessibleName(QStringLiteral("关闭"));

    tip1Lab_ = makeWrappingLabel(QStringLiteral("发现新版本"), bgView());
    tip1Lab_->setFont(themeFont15());
    setTextColor(tip1Lab_, themeTextColor());
    iconImg_->raise();

    tipLab_ = makeWrappingLabel(QStringLiteral("当前已是最新版本，暂无更新"), bgView());
    tipLab_->setFont(themeFont17());
    setTextColor(tipLab_, alertGreen());

    sureBtn_ = new CustomButton(bgView());
    styleButton(sureBtn_, QStringLiteral("去更新"), alertGreen());
    ClickGestureRecognizer::attach(sureBtn_, [this](ClickGestureRecognizer&) { didTap1(); });

    layoutSubviews();
}

void VersionForceAlertView::setIcon(const QString& name) {
    iconName_ = name;
    iconImg_->setImage(AppImages::named(name));
}

void VersionForceAlertView::configure() {
    if (!model) return;
    tipLab_->setText(QString::fromStdString(model->content.value_or("")));
    setIcon(QStringLiteral("tishi_r"));
    layoutSubviews();
    if (model->version == model->min_version) return;
    closeImg_->show();
    // One backdrop recogniser is enough: later configures would only add ones that find the
    // alert already gone.
    if (!backdropCloses_) {
        backdropCloses_ = true;
        ClickGestureRecognizer::attach(sharedView(),
                                       [this](ClickGestureRecognizer&) { didTap1(); });
        EscapeToClose::attach(this, [this] { didTap1(); });
    }
}

void VersionForceAlertView::didTap1() {
    removeFromSuperview(this);
}

void VersionForceAlertView::didTap() {}

void VersionForceAlertView::layoutCard() {
    bgImg_->setGeometry(0, 0, kCardWidth, kCardHeight);
    closeImg_->setGeometry(kCardWidth - kCloseRightInset - kCloseSide, kInset, kCloseSide,
                           kCloseSide);
    const QSize title = tip1Lab_->sizeHint();
    tip1Lab_->setGeometry(kInset, kInset, title.width(), title.height());
    const int iconTop = kInset + title.height() + kIconGap;
    iconImg_->setGeometry((kCardWidth - kIconSide) / 2, iconTop, kIconSide, kIconSide);
    const int textTop = iconTop + kIconSide + kTextGap;
    const int textHeight = tipLab_->heightForWidth(kTextWidth);
    tipLab_->setGeometry((kCardWidth - kTextWidth) / 2, textTop, kTextWidth,
                         std::max(textHeight, 0));
    sureBtn_->setGeometry((kCardWidth - kButtonWidth) / 2,
                          textTop + std::max(textHeight, 0) + kButtonGap, kButtonWidth,
                          kButtonHeight);
}

}  // namespace pex
