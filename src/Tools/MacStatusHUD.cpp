#include "Tools/MacStatusHUD.h"

#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kSpinnerTop = 12;
constexpr int kMessageGap = 8;
}  // namespace

MacStatusHUD::MacStatusHUD(QWidget* parent)
    : LayerBackedView(parent),
      indicator_(new SpinningProgressIndicator(this)),
      messageLabel_(makeTextLabel(QString(), this)) {
    setLayerBackgroundColor(Color::grey(0, 0.6));
    setCornerRadius(10);
    setGeometry(0, 0, kWidth, kHeight);
    indicator_->startAnimation();
    setTextColor(messageLabel_, Color::grey(1));
    messageLabel_->setAlignment(Qt::AlignCenter);
    messageLabel_->setFont(systemFont(14));
    layoutSubviews();
}

void MacStatusHUD::layoutSubviews() {
    const QSize spinner = indicator_->sizeHint();
    indicator_->setGeometry((width() - spinner.width()) / 2, kSpinnerTop, spinner.width(),
                            spinner.height());
    const QSize message = messageLabel_->sizeHint();
    messageLabel_->setGeometry((width() - message.width()) / 2,
                               kSpinnerTop + spinner.height() + kMessageGap, message.width(),
                               message.height());
}

}  // namespace pex
