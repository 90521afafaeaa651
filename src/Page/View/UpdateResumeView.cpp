#include "Page/View/UpdateResumeView.h"

#include <QPainter>

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

// The picture in one colour, keeping its shape (alpha).
QPixmap tinted(const QPixmap& picture, const QColor& colour) {
    if (picture.isNull()) return picture;
    QPixmap result(picture.size());
    result.setDevicePixelRatio(picture.devicePixelRatio());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawPixmap(0, 0, picture);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), colour);
    return result;
}

}  // namespace

UpdateResumeView::UpdateResumeView(QWidget* parent)
    : LayerBackedView(parent),
      title_(makeTextLabel(QString::fromUtf8(kFormatHint), this)),
      updateLabel_(makeTextLabel(QString::fromUtf8(kUploadText), this)),
      deleteButton_(new QPushButton(QStringLiteral("删除"), this)),
      icon_(new ImageView(tinted(AppImages::named(QStringLiteral("up_word")), Qt::black), this)) {
    title_->setFont(systemFont(14));
    setTextColor(title_, Color::grey(0.5));
    title_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    title_->setWordWrap(true);
    updateLabel_->setFont(systemFont(16));
    setTextColor(updateLabel_, Color::grey(0));
    deleteButton_->setFont(systemFont(14));
    deleteButton_->setCursor(Qt::PointingHandCursor);
    deleteButton_->setStyleSheet(QStringLiteral(
        "QPushButton{color:red;background:rgb(242,250,248);border:none;border-radius:5px;}"));
    deleteButton_->hide();
    icon_->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(deleteButton_, &QPushButton::clicked, this, [this] { deleteTapped(); });
    ClickGestureRecognizer::attach(this, [this](ClickGestureRecognizer&) { updateTap(); });
    setBorderColor(colorWithHex(0x19CFAE));
    setBorderWidth(2);
    setCornerRadius(14);
}

void UpdateResumeView::updateTap() {
    if (updateBlock) updateBlock();
}

void UpdateResumeView::deleteTapped() {
    if (resumeDeleteBlock) resumeDeleteBlock();
}

void UpdateResumeView::showResumeBound() {
    deleteButton_->show();
    labelLift_ = kBoundLift;
    layoutSubviews();
}

void UpdateResumeView::showResumeCleared() {
    deleteButton_->hide();
    title_->setText(QString::fromUtf8(kFormatHint));
    updateLabel_->setText(QString::fromUtf8(kUploadText));
    labelLift_ = kClearedLift;
    layoutSubviews();
}

void UpdateResumeView::layoutSubviews() {
    const QSize label = updateLabel_->sizeHint();
    const int labelCentreX = width() / 2 + 11;
    const int labelCentreY = height() / 2 - labelLift_;
    updateLabel_->setGeometry(labelCentreX - label.width() / 2, labelCentreY - label.height() / 2,
                              label.width(), label.height());
    icon_->setGeometry(updateLabel_->x() - 4 - 18, labelCentreY - 10, 18, 20);
    const int titleHeight = title_->heightForWidth(kTitleWidth);
    title_->setGeometry((width() - kTitleWidth) / 2, updateLabel_->geometry().bottom() + 1 + 11,
                        kTitleWidth, titleHeight);
    deleteButton_->setGeometry((width() - 60) / 2, title_->geometry().bottom() + 1 + 7, 60, 30);
}

}  // namespace pex
