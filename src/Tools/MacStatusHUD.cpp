#include "Tools/MacStatusHUD.h"

#include <algorithm>

#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kSpinnerTop = 12;
constexpr int kMessageGap = 8;
constexpr int kMessageBottom = 12;
}  // namespace

MacStatusHUD::MacStatusHUD(QWidget* parent)
    : LayerBackedView(parent),
      indicator_(new SpinningProgressIndicator(this)),
      messageLabel_(makeTextLabel(QString(), this)) {
    // Black at 0.6 as it shows over a white page, but opaque: over a window's text (the
    // session window's answers) the translucent panel let the text run through the spinner.
    setLayerBackgroundColor(kPanelColor);
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
    // The panel's height wins over the text's: the line fills the room down to 12 points above
    // the bottom, even when that is a little less than the font asks for.
    const QSize message = messageLabel_->sizeHint();
    const int messageTop = kSpinnerTop + spinner.height() + kMessageGap;
    messageLabel_->setGeometry((width() - message.width()) / 2, messageTop, message.width(),
                               std::max(0, height() - kMessageBottom - messageTop));
}

}  // namespace pex
