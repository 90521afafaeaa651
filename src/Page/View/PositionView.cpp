#include "Page/View/PositionView.h"

#include <QMouseEvent>

#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

QPushButton* makeButton(const QString& title, const QString& background, const QString& colour,
                        QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(systemFont(14));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton{background:%1;color:%2;border:none;border-radius:8px;}")
            .arg(background, colour));
    return button;
}

}  // namespace

PositionView::PositionView(QWidget* parent)
    : LayerBackedView(parent),
      titleLabel_(makeTextLabel(QStringLiteral("岗位及角色"), this)),
      hintLabel_(makeTextLabel(QStringLiteral("填写内容有助于更好的AI面试效果哦~"), this)),
      contentView_(new QWidget(this)),
      placeholderLabel_(makeTextLabel(QString::fromUtf8(kPlaceholder), this)),
      roleTextView_(new QPlainTextEdit(contentView_)),
      cancelButton_(makeButton(QStringLiteral("取消"), QStringLiteral("#D7F2F2"),
                               QStringLiteral("black"), this)),
      sureButton_(makeButton(QStringLiteral("确定"), QStringLiteral("#19CFAE"),
                             QStringLiteral("white"), this)) {
    setLayerBackgroundColor(Color::grey(1));
    setCornerRadius(10);
    titleLabel_->setFont(systemFont(16));
    roleTextView_->setAccessibleName(QStringLiteral("岗位及角色"));
    hintLabel_->setFont(systemFont(13));
    setTextColor(hintLabel_, secondaryLabelColor());
    setTextColor(placeholderLabel_, Color::grey(0.67));
    placeholderLabel_->setFont(systemFont(15));
    // The placeholder lies over the text area; clicks go through to the text.
    placeholderLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeholderLabel_->raise();

    roleTextView_->setFont(systemFont(15));
    roleTextView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    roleTextView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    roleTextView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    roleTextView_->document()->setDocumentMargin(4);
    roleTextView_->setStyleSheet(
        QStringLiteral("QPlainTextEdit{background:transparent;color:rgba(0,0,0,128);"
                       "border:2px solid #19CFAE;border-radius:8px;padding:4px;}"));
    connect(roleTextView_, &QPlainTextEdit::textChanged, this, [this] { updatePlaceholder(); });
    updatePlaceholder();

    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancelTapped(); });
    connect(sureButton_, &QPushButton::clicked, this, [this] { sureTapped(); });
}

void PositionView::updatePlaceholder() {
    placeholderLabel_->setVisible(roleTextView_->document()->isEmpty());
}

void PositionView::sureTapped() {
    if (sureContent) sureContent(roleTextView_->toPlainText());
    MYCenterPopView::dismiss();
}

void PositionView::cancelTapped() {
    if (cancelContent) cancelContent();
    MYCenterPopView::dismiss();
}

void PositionView::mousePressEvent(QMouseEvent* event) {
    if (QWidget* focused = window()->focusWidget()) focused->clearFocus();
    event->accept();
}

void PositionView::layoutSubviews() {
    const int innerWidth = width() - 2 * kInset;
    const QSize title = titleLabel_->sizeHint();
    titleLabel_->setGeometry(kInset, kInset, title.width(), title.height());
    const int hintTop = titleLabel_->geometry().bottom() + 1 + 11;
    hintLabel_->setGeometry(kInset, hintTop, innerWidth, hintLabel_->sizeHint().height());
    const int boxTop = hintLabel_->geometry().bottom() + 1 + 11;
    contentView_->setGeometry(kInset, boxTop, innerWidth, kTextAreaHeight);
    roleTextView_->setGeometry(contentView_->rect());
    placeholderLabel_->setGeometry(kInset + 7, boxTop + 5, placeholderLabel_->sizeHint().width(),
                                   placeholderLabel_->sizeHint().height());
    const int buttonTop = contentView_->geometry().bottom() + 1 + 16;
    sureButton_->setGeometry(width() - kInset - 85, buttonTop, 85, 35);
    cancelButton_->setGeometry(sureButton_->x() - 11 - 85, buttonTop, 85, 35);
}

}  // namespace pex
