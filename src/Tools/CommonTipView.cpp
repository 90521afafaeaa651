#include "Tools/CommonTipView.h"

#include <algorithm>

#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

QString cssColor(const Color& color) {
    const QColor qt = color.toQColor();
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(qt.red())
        .arg(qt.green())
        .arg(qt.blue())
        .arg(qt.alphaF());
}

}  // namespace

CommonTipView::CommonTipView(QWidget* parent) : LayerBackedView(parent) {
    setLayerBackgroundColor(Color::grey(1));
    setCornerRadius(16);
    titleLabel_ = makeLabel(systemBlackColor(), false, 14);
    titleLabel_->setText(QStringLiteral("更新提示"));
    contentLabel_ = makeLabel(systemGrayColor(), false, 13);
    contentLabel_->setText(
        QStringLiteral("请更新到最新版本体验更多功能，点击下方按钮可更新，无需可忽略。"));
    sureButton_ = makeButton(QStringLiteral("去更新"), themeMainColor(), Color::grey(1));
    cancelButton_ = makeButton(QStringLiteral("忽略"), themeMainLightColor(), systemBlackColor());
    connect(cancelButton_, &QPushButton::clicked, this, [this] { button1Tap(); });
    connect(sureButton_, &QPushButton::clicked, this, [this] { button2Tap(); });
    layoutSubviews();
}

QLabel* CommonTipView::makeLabel(const Color& color, bool bold, double size) {
    QLabel* label = makeTextLabel(QString(), this);
    label->setFont(systemFont(size, bold ? 0.4 : 0));
    setTextColor(label, color);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* CommonTipView::makeButton(const QString& title, const Color& background,
                                       const Color& tint) {
    auto* button = new QPushButton(title, this);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: %2; border: none; "
                       "border-radius: 8px; padding: 0; }")
            .arg(cssColor(background), cssColor(tint)));
    return button;
}

void CommonTipView::button1Tap() {
    MYCenterPopView::dismiss();
}

void CommonTipView::button2Tap() {
    // The pop-up's fade-out keeps this view alive while the block runs.
    const std::function<void()> block = sureBlock;
    MYCenterPopView::dismiss();
    if (block) block();
}

void CommonTipView::layoutSubviews() {
    const int textWidth = std::max(0, width() - 2 * kInset);
    const int titleHeight = titleLabel_->heightForWidth(textWidth);
    titleLabel_->setGeometry(kInset, kInset, textWidth, std::max(0, titleHeight));
    const int contentTop = titleLabel_->geometry().bottom() + 1 + kGap;
    const int contentHeight = contentLabel_->heightForWidth(textWidth);
    contentLabel_->setGeometry(kInset, contentTop, textWidth, std::max(0, contentHeight));
    const int buttonTop = contentTop + std::max(0, contentHeight) + kGap;
    // A card too short for its text grows (about its centre) so the buttons stay on it.
    const int needed = buttonTop + kButtonHeight + kInset;
    if (needed > height()) {
        setGeometry(x(), y() - (needed - height()) / 2, width(), needed);
    }
    const int sureLeft = width() - kInset - kButtonWidth;
    sureButton_->setGeometry(sureLeft, buttonTop, kButtonWidth, kButtonHeight);
    cancelButton_->setGeometry(sureLeft - kButtonSpacing - kButtonWidth, buttonTop, kButtonWidth,
                               kButtonHeight);
}

}  // namespace pex
