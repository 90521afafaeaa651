#include "Page/Records/ConsumeCellMac.h"

#include <algorithm>

#include "Tools/AppImages.h"
#include "Tools/ColorExtension.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "service/DateHelpers.h"
#include "service/UserBaseModel.h"

namespace pex {

namespace {
constexpr int kIconSide = 16;
constexpr int kInset = 16;
constexpr int kTop = 10;
constexpr int kTitleGap = 6;
constexpr int kRowGap = 10;
constexpr int kRightGap = 10;
constexpr double kMediumWeight = 0.23;

QString dateText(const std::optional<std::string>& createdAt) {
    if (!createdAt) return QString();
    return QString::fromStdString(dateFromISO8601String(*createdAt, ConsumeCellMac::kDatePattern));
}
}  // namespace

ConsumeCellMac::ConsumeCellMac(QWidget* parent)
    : LayerBackedView(parent),
      iconView_(new ImageView(AppImages::named(QStringLiteral("logo")), this)),
      lineView_(new LayerBackedView(this)),
      titleLabel_(makeTextLabel(QString(), this)),
      desLabel_(new TailTruncatingLabel(QString(), this)),
      rightLabel_(new TailTruncatingLabel(QString(), this)) {
    setObjectName(QString::fromLatin1(kIdentifier));
    lineView_->setLayerBackgroundColor(systemGrayColor().withAlphaComponent(0.3));

    titleLabel_->setFont(systemFont(14, kMediumWeight));
    setTextColor(titleLabel_, labelColor());

    desLabel_->setFont(systemFont(13));
    setTextColor(desLabel_, secondaryLabelColor());

    rightLabel_->setFont(systemFont(14));
    setTextColor(rightLabel_, colorWithHex(0x19CFAE));
    rightLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layoutSubviews();
}

void ConsumeCellMac::configureConsume() {
    if (!model) return;
    titleLabel_->setText(QString::fromStdString(model->function.value_or("")));
    desLabel_->setText(dateText(model->created_at));
    rightLabel_->setText(QString::fromStdString(UserBaseModel::durationText(model->time_package)));
    layoutSubviews();
}

void ConsumeCellMac::configureOrder() {
    if (!orderModel) return;
    titleLabel_->setText(QString::fromStdString(orderModel->goods_name.value_or("")));
    desLabel_->setText(dateText(orderModel->created_at));
    rightLabel_->setText(QStringLiteral("¥") +
                         QString::fromStdString(orderModel->pay_money.value_or("")));
    iconView_->setImage(AppImages::named(QStringLiteral("pingguo")));
    layoutSubviews();
}

QSize ConsumeCellMac::sizeHint() const {
    const int height = kTop + kIconSide + kRowGap + desLabel_->sizeHint().height() + kRowGap;
    return {400, std::max(kRowHeight, height)};
}

void ConsumeCellMac::layoutSubviews() {
    iconView_->setGeometry(kInset, kTop, kIconSide, kIconSide);
    const QSize title = titleLabel_->sizeHint();
    const int titleLeft = kInset + kIconSide + kTitleGap;
    titleLabel_->setGeometry(titleLeft, kTop + (kIconSide - title.height()) / 2,
                             std::max(0, width() - titleLeft - kInset), title.height());

    const int desTop = kTop + kIconSide + kRowGap;
    const int desHeight = desLabel_->sizeHint().height();
    const QSize right = rightLabel_->sizeHint();
    const int rightWidth = std::min(right.width(), std::max(0, width() - 2 * kInset - kRightGap));
    rightLabel_->setGeometry(width() - kInset - rightWidth,
                             desTop + (desHeight - right.height()) / 2, rightWidth, right.height());
    desLabel_->setGeometry(kInset, desTop,
                           std::max(0, width() - 2 * kInset - rightWidth - kRightGap), desHeight);
    lineView_->setGeometry(kInset, height() - 1, std::max(0, width() - 2 * kInset), 1);
}

}  // namespace pex
