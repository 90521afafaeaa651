#include "Tools/CustomSuccessTipView.h"

#include <QMouseEvent>

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
    : QWidget(parent),
      sharedView_(new LayerBackedView(this)),
      bgView_(new LayerBackedView(this)),
      bgImg_(new ImageView(AppImages::named(QStringLiteral("success")), bgView_)),
      tipLab_(makeTextLabel(QStringLiteral("保存成功"), bgView_)),
      sureBtn_(new CustomButton(bgView_)) {
    sharedView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    sharedView_->setCornerRadius(10);
    bgView_->setLayerBackgroundColor(Color::grey(1));
    bgView_->setCornerRadius(10);

    tipLab_->setFont(themeFont15());
    setTextColor(tipLab_, tipGreen());
    tipLab_->setAlignment(Qt::AlignCenter);

    sureBtn_->setCornerRadius(20);
    sureBtn_->setLayerBackgroundColor(tipGreen());
    sureBtn_->titleLab()->setText(QStringLiteral("确定"));
    sureBtn_->titleLab()->setFont(themeFont15());
    setTextColor(sureBtn_->titleLab(), Color::grey(1));
    sureBtn_->iconImg()->hide();
    ClickGestureRecognizer::attach(sureBtn_, [this](ClickGestureRecognizer&) { didTap1(); });
    // A new message on the card changes the width of its label.
    bgView_->installEventFilter(this);
    layoutSubviews();
}

void CustomSuccessTipView::didTap1() {
    consoleLog("什么鬼");
    removeFromSuperview(this);
}

void CustomSuccessTipView::bgTap() {
    consoleLog("111");
}

void CustomSuccessTipView::mousePressEvent(QMouseEvent* event) {
    logMouseEvent("CustomSuccessTipView", event);
    event->accept();
}

void CustomSuccessTipView::mouseReleaseEvent(QMouseEvent* event) {
    logMouseEvent("CustomSuccessTipView", event);
    event->accept();
}

void CustomSuccessTipView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

bool CustomSuccessTipView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show) layoutSubviews();
    return handled;
}

bool CustomSuccessTipView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == bgView_ && event->type() == QEvent::LayoutRequest) layoutSubviews();
    return false;
}

void CustomSuccessTipView::layoutSubviews() {
    sharedView_->setGeometry(rect());
    bgView_->setGeometry((width() - kCardWidth) / 2, (height() - kCardHeight) / 2, kCardWidth,
                         kCardHeight);
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
