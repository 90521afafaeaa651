#include "Tools/CustomButton.h"

#include <QMouseEvent>
#include <algorithm>

#include "Tools/AppImages.h"
#include "Tools/ViewHelpers.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {
constexpr int kTitleInset = 10;
constexpr int kIconWidth = 10;
constexpr int kIconHeight = 7;
constexpr int kIconRightInset = 5;
}  // namespace

CustomButton::CustomButton(QWidget* parent)
    : LayerBackedView(parent),
      titleLab_(makeTextLabel(QString(), this)),
      iconImg_(new ImageView(AppImages::named(QStringLiteral("translate_down")), this)) {
    titleLab_->setAlignment(Qt::AlignCenter);
    layoutSubviews();
}

void CustomButton::bgTap() {
    consoleLog("111");
}

void CustomButton::mousePressEvent(QMouseEvent* event) {
    logMouseEvent("CustomButton", event);
    event->accept();
}

void CustomButton::mouseReleaseEvent(QMouseEvent* event) {
    logMouseEvent("CustomButton", event);
    event->accept();
}

void CustomButton::layoutSubviews() {
    const int titleHeight = titleLab_->sizeHint().height();
    titleLab_->setGeometry(kTitleInset, (height() - titleHeight) / 2,
                           std::max(0, width() - 2 * kTitleInset), titleHeight);
    iconImg_->setGeometry(width() - kIconRightInset - kIconWidth, (height() - kIconHeight) / 2,
                          kIconWidth, kIconHeight);
}

}  // namespace pex
