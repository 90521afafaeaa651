#include "Main/HomeLeftCustomView.h"

#include <QLabel>

#include "Tools/AppImages.h"
#include "Tools/ImageView.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kIconLeft = 10;
constexpr int kIconSide = 15;
constexpr int kTitleGap = 10;
}  // namespace

HomeLeftCustomView::HomeLeftCustomView(QWidget* parent) : LayerBackedView(parent) {
    iconImg();
    titleLab();
}

ImageView* HomeLeftCustomView::iconImg() {
    if (!iconImg_) {
        iconImg_ = new ImageView(this);
        // Clicks land on the item itself, whose recogniser selects it.
        iconImg_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    return iconImg_;
}

QLabel* HomeLeftCustomView::titleLab() {
    if (!titleLab_) {
        titleLab_ = makeTextLabel(QString(), this);
        titleLab_->setFont(systemFont(14));
    }
    return titleLab_;
}

void HomeLeftCustomView::setIcon(const QString& name) {
    iconName_ = name;
    iconImg()->setImage(AppImages::named(name));
}

void HomeLeftCustomView::layoutSubviews() {
    iconImg_->setGeometry(kIconLeft, (height() - kIconSide) / 2, kIconSide, kIconSide);
    const QSize title = titleLab_->sizeHint();
    titleLab_->setGeometry(kIconLeft + kIconSide + kTitleGap, (height() - title.height()) / 2,
                           title.width(), title.height());
}

}  // namespace pex
