#include "Tools/HomeTipNoView.h"

#include <QMouseEvent>

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "service/ConsoleLog.h"

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
    : QWidget(parent),
      sharedView_(new LayerBackedView(this)),
      bgView_(new LayerBackedView(this)),
      bgImg_(new ImageView(AppImages::named(QStringLiteral("tip_bg1")), bgView_)),
      closeImg_(new ImageView(AppImages::named(QStringLiteral("close")), bgView_)),
      tip1Lab_(makeTextLabel(QStringLiteral("提示"), bgView_)),
      iconImg_(new ImageView(AppImages::named(QStringLiteral("tishi_r")), bgView_)),
      tipLab_(makeTextLabel(QStringLiteral("您的余额不足，请充值"), bgView_)),
      sureBtn_(new CustomButton(bgView_)) {
    sharedView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    sharedView_->setCornerRadius(10);
    bgView_->setLayerBackgroundColor(Color::grey(1));
    bgView_->setCornerRadius(10);

    tip1Lab_->setFont(themeFont15());
    setTextColor(tip1Lab_, themeTextColor());
    tip1Lab_->setAlignment(Qt::AlignCenter);

    tipLab_->setFont(systemFont(20, 1.0));
    setTextColor(tipLab_, themeTextColor());
    tipLab_->setAlignment(Qt::AlignCenter);

    sureBtn_->setCornerRadius(20);
    sureBtn_->setLayerBackgroundColor(Color::grey(0));
    sureBtn_->titleLab()->setText(QStringLiteral("立即充值"));
    sureBtn_->titleLab()->setFont(themeFont15());
    setTextColor(sureBtn_->titleLab(), Color::grey(1));
    sureBtn_->iconImg()->hide();

    ClickGestureRecognizer::attach(closeImg_, [this](ClickGestureRecognizer&) { didTap1(); });
    ClickGestureRecognizer::attach(sharedView_, [this](ClickGestureRecognizer&) { didTap1(); });
    ClickGestureRecognizer::attach(bgView_, [this](ClickGestureRecognizer&) { didTap(); });
    // A new message on the card changes the size of its label.
    bgView_->installEventFilter(this);
    layoutSubviews();
}

void HomeTipNoView::didTap() {}

void HomeTipNoView::didTap1() {
    removeFromSuperview(this);
}

void HomeTipNoView::bgTap() {
    consoleLog("111");
}

void HomeTipNoView::mousePressEvent(QMouseEvent* event) {
    logMouseEvent("HomeTipNoView", event);
    event->accept();
}

void HomeTipNoView::mouseReleaseEvent(QMouseEvent* event) {
    logMouseEvent("HomeTipNoView", event);
    event->accept();
}

void HomeTipNoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

bool HomeTipNoView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show) layoutSubviews();
    return handled;
}

bool HomeTipNoView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == bgView_ && event->type() == QEvent::LayoutRequest) layoutSubviews();
    return false;
}

void HomeTipNoView::layoutSubviews() {
    sharedView_->setGeometry(rect());
    bgView_->setGeometry((width() - kCardWidth) / 2, (height() - kCardHeight) / 2, kCardWidth,
                         kCardHeight);
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
