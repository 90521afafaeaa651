#include "Page/View/InterviewContentView.h"

#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

InterviewContentView::InterviewContentView(QWidget* parent)
    : LayerBackedView(parent),
      imageView_(new ImageView(this)),
      titleLabel_(makeTextLabel(QString(), this)),
      subtitleLabel_(makeTextLabel(QString(), this)),
      selectImageView_(new ImageView(AppImages::named(QStringLiteral("ai_select")), this)) {
    setCornerRadius(10);
    setBorderColor(colorWithHex(0x65D6C4));
    setBorderWidth(0);
    setLayerBackgroundColor(Color::rgb(0.83, 0.83, 0.83, 0.1));
    titleLabel_->setFont(systemFont(14));
    subtitleLabel_->setFont(systemFont(12));
    for (QWidget* part :
         {static_cast<QWidget*>(imageView_), static_cast<QWidget*>(selectImageView_)}) {
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    selectImageView_->hide();
    ClickGestureRecognizer::attach(this, [this](ClickGestureRecognizer&) { handleClick(); });
}

void InterviewContentView::handleClick() {
    if (clickHandler) clickHandler();
}

void InterviewContentView::layoutSubviews() {
    imageView_->setGeometry(12, (height() - 40) / 2, 40, 40);
    const QSize title = titleLabel_->sizeHint();
    titleLabel_->setGeometry(64, titleTop, title.width(), title.height());
    const QSize subtitle = subtitleLabel_->sizeHint();
    subtitleLabel_->setGeometry(64, titleTop + title.height() + 4,
                                std::min(subtitle.width(), width() - 64 - 26), subtitle.height());
    selectImageView_->setGeometry(width() - 22, height() - 22, 22, 22);
}

}  // namespace pex
