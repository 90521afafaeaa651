#include "Page/View/RechargeCellView.h"

#include <algorithm>

#include "Tools/ColorExtension.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

constexpr double kMediumWeight = 0.23;

QLabel* makeWhiteLabel(double points, double weight, QWidget* parent) {
    QLabel* label = makeTextLabel(QString(), parent);
    label->setFont(systemFont(points, weight));
    setTextColor(label, Color::grey(1));
    return label;
}

QString textOf(const std::optional<std::string>& value) {
    return QString::fromStdString(value.value_or(std::string()));
}

}  // namespace

RechargeCellView::RechargeCellView(QWidget* parent)
    : QWidget(parent),
      contentV_(new LayerBackedView(this)),
      titleLabel_(makeWhiteLabel(14, kMediumWeight, contentV_)),
      subLabel_(makeWhiteLabel(13, 0, contentV_)),
      centerView_(new LayerBackedView(contentV_)),
      centerLabel_(makeWhiteLabel(12, 0, contentV_)),
      rightLabel_(makeWhiteLabel(18, 0, contentV_)),
      yuanLabel_(makeWhiteLabel(13, 0, contentV_)) {
    setObjectName(QString::fromLatin1(kIdentifier));
    contentV_->setLayerBackgroundColor(colorWithHex(0xB2B2B2));
    contentV_->setCornerRadius(10);
    centerView_->setLayerBackgroundColor(themeMainColor());
    centerView_->setCornerRadius(10);
    centerLabel_->raise();
    titleLabel_->setWordWrap(true);
    yuanLabel_->setText(QStringLiteral("元"));
}

void RechargeCellView::configure() {
    if (!rechargeModel) return;
    const RechargeModel& model = *rechargeModel;
    titleLabel_->setText(textOf(model.intro));
    subLabel_->setText(textOf(model.goods_name));
    centerLabel_->setText(textOf(model.label));
    rightLabel_->setText(textOf(model.price));
    yuanLabel_->setText(textOf(model.currency_cn));
    const bool badge = model.label && !model.label->empty();
    centerLabel_->setVisible(badge);
    centerView_->setVisible(badge);
    if (model.isSelected) {
        contentV_->setBorderWidth(2);
        contentV_->setBorderColor(themeMainColor());
    } else {
        contentV_->setBorderWidth(0);
        contentV_->setBorderColor(Color::clear());
    }
    layoutCard();
}

void RechargeCellView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutCard();
}

void RechargeCellView::layoutCard() {
    contentV_->setGeometry(rect().adjusted(kCardInset, kCardInset, -kCardInset, -kCardInset));
    const int cardWidth = contentV_->width();
    const int centreY = contentV_->height() / 2;

    const QSize yuan = yuanLabel_->sizeHint();
    const int yuanCentre = centreY + 3;
    yuanLabel_->setGeometry(cardWidth - 16 - yuan.width(), yuanCentre - yuan.height() / 2,
                            yuan.width(), yuan.height());
    const QSize price = rightLabel_->sizeHint();
    rightLabel_->setGeometry(yuanLabel_->x() - 3 - price.width(),
                             yuanCentre - 3 - price.height() / 2, price.width(), price.height());

    const QSize badge = centerLabel_->sizeHint();
    const int badgeCentre = centreY + 4;
    centerLabel_->setGeometry(rightLabel_->x() - 8 - badge.width(), badgeCentre - kBadgeHeight / 2,
                              badge.width(), kBadgeHeight);
    centerView_->setGeometry(centerLabel_->x() - 6, centerLabel_->y() - 2, badge.width() + 12,
                             kBadgeHeight);

    const int textRight = !centerView_->isHidden() ? centerView_->x() - 8 : rightLabel_->x() - 8;
    const int titleWidth = std::max(0, textRight - 16);
    const int subTop = std::max(8, contentV_->height() - 8 - 20);
    titleLabel_->setGeometry(16, 8, titleWidth, std::max(0, subTop - 4 - 8));
    subLabel_->setGeometry(16, subTop, std::max(0, cardWidth - 32), 20);
}

}  // namespace pex
