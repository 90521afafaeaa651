#include "Page/View/InterviewTypeView.h"

#include <QPointer>

#include "Tools/AppImages.h"
#include "Tools/ColorExtension.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

struct Option {
    const char* image;
    const char* title;
    const char* subtitle;
};

constexpr std::array<Option, 3> kOptions = {{
    {"ai_guonei", "国内面试AI", "适用于国内校招、公司、机构"},
    {"ai_guowai", "国外面试AI", "适应于海外求职或学术面试，涉及翻译"},
    {"ai_guoneiwai", "都可能涉及", ""},
}};

constexpr int kSide = 28;
constexpr int kTileHeight = 72;

QPushButton* makeCardButton(const QString& title, bool filled, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(systemFont(14));
    const QString theme = QStringLiteral("#19CFAE");
    button->setStyleSheet(
        filled ? QStringLiteral("QPushButton{background:%1;color:white;border:none;"
                                "border-radius:5px;}")
                     .arg(theme)
               : QStringLiteral("QPushButton{background:white;color:%1;border:1px solid %1;"
                                "border-radius:5px;}")
                     .arg(theme));
    return button;
}

}  // namespace

InterviewTypeView::InterviewTypeView(QWidget* parent)
    : LayerBackedView(parent),
      typeLabel_(makeTextLabel(QStringLiteral("选择面试类型"), this)),
      contentLabel_(makeTextLabel(QStringLiteral("有助于更好的展示ai面试效果哦～"), this)),
      skipButton_(makeCardButton(QStringLiteral("跳过"), false, this)),
      sureButton_(makeCardButton(QStringLiteral("确定"), true, this)) {
    setCornerRadius(16);
    setLayerBackgroundColor(Color::grey(1));
    typeLabel_->setFont(systemFont(16, 0.4));
    contentLabel_->setFont(systemFont(14));
    setTextColor(contentLabel_, secondaryLabelColor());
    for (int option = 1; option <= 3; ++option) {
        auto* tile = new InterviewContentView(this);
        tile->clickHandler = [card = QPointer<InterviewTypeView>(this), option] {
            if (!card) return;
            card->type = option;
            card->refreshSelection();
        };
        tiles_[static_cast<std::size_t>(option - 1)] = tile;
    }
    connect(skipButton_, &QPushButton::clicked, this, [this] { skipTap(); });
    connect(sureButton_, &QPushButton::clicked, this, [this] { sureTap(); });
    refreshSelection();
}

InterviewContentView* InterviewTypeView::tile(int option) const {
    if (option < 1 || option > 3) return nullptr;
    return tiles_[static_cast<std::size_t>(option - 1)];
}

void InterviewTypeView::refreshSelection() {
    for (int option = 1; option <= 3; ++option) {
        const Option& look = kOptions[static_cast<std::size_t>(option - 1)];
        InterviewContentView* view = tile(option);
        view->imageView()->setImage(AppImages::named(QString::fromLatin1(look.image)));
        view->titleLabel()->setText(QString::fromUtf8(look.title));
        view->subtitleLabel()->setText(QString::fromUtf8(look.subtitle));
        const bool selected = type == option;
        view->setBorderWidth(selected ? 1 : 0);
        view->selectImageView()->setVisible(selected);
        view->titleTop = *look.subtitle ? 17 : 26;
        view->update();
    }
    layoutSubviews();
}

void InterviewTypeView::skipTap() {
    MYCenterPopView::dismiss();
}

void InterviewTypeView::sureTap() {
    if (type && selectInterviewBlock) selectInterviewBlock(*type);
    MYCenterPopView::dismiss();
}

void InterviewTypeView::layoutSubviews() {
    const QSize heading = typeLabel_->sizeHint();
    typeLabel_->setGeometry(kSide, 20, heading.width(), heading.height());
    const QSize sub = contentLabel_->sizeHint();
    const int subTop = 20 + heading.height() + 10;
    contentLabel_->setGeometry(kSide, subTop, sub.width(), sub.height());
    int top = subTop + sub.height() + 23;
    const int tileWidth = width() - 2 * kSide;
    for (InterviewContentView* view : tiles_) {
        view->setGeometry(kSide, top, tileWidth, kTileHeight);
        top += kTileHeight + 15;
    }
    top += 27 - 15;
    const int buttonWidth = static_cast<int>(tileWidth * 0.48);
    skipButton_->setGeometry(kSide, top, buttonWidth, 36);
    sureButton_->setGeometry(kSide + tileWidth - buttonWidth, top, buttonWidth, 36);
}

}  // namespace pex
