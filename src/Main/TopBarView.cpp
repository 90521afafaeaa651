#include "Main/TopBarView.h"

#include <QVBoxLayout>
#include <string>

#include "Page/View/InterviewTypeView.h"
#include "Tools/AppImages.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/appkit/SystemFont.h"
#include "service/BaseNetModel.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"

namespace pex {

namespace {

constexpr int kIconLeft = 16;
constexpr int kIconSide = 36;
constexpr double kIconCornerRadius = 6;
constexpr int kStackGap = 10;
constexpr int kButtonHeight = 28;
constexpr int kButtonMinimumWidth = 100;
constexpr double kSemibold = 0.3;
const char* const kModeTitle = "面试助攻";

}  // namespace

TopBarView::TopBarView(QWidget* parent)
    : LayerBackedView(parent),
      iconImageView_(new ImageView(AppImages::named(QStringLiteral("logo")))),
      titleLabel_(makeTextLabel(QStringLiteral("Pexmora"))),
      subTitleLabel_(makeTextLabel(QStringLiteral("你的面试翻译助手"))),
      titleStack_(new QWidget),
      modeSwithButton_(new QPushButton) {
    titleLabel_->setFont(systemFont(14, kSemibold));
    setTextColor(titleLabel_, Color::grey(0));
    subTitleLabel_->setFont(systemFont(12));
    setTextColor(subTitleLabel_, secondaryLabelColor());
    modeSwithButton_->setIcon(QIcon(AppImages::named(QStringLiteral("swith_mode"))));
    modeSwithButton_->setFont(systemFont(13));
    setupTopBar();
}

TopBarView::~TopBarView() {
    // A card that was never shown has no pop-up to take it.
    if (interviewTypeView_ && !interviewTypeView_->parent()) delete interviewTypeView_.data();
}

void TopBarView::setupTopBar() {
    setLayerBackgroundColor(themePageBackgroundColor());
    iconImageView_->setParent(this);
    titleStack_->setParent(this);
    auto* stack = new QVBoxLayout(titleStack_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    stack->addWidget(titleLabel_, 0, Qt::AlignLeft);
    stack->addWidget(subTitleLabel_, 0, Qt::AlignLeft);
    titleStack_->setAttribute(Qt::WA_TransparentForMouseEvents);
    modeSwithButton_->setParent(this);
    connect(modeSwithButton_, &QPushButton::clicked, this, [this] { modeSwithButtonClicked(); });
    modeSwithButton_->setHidden(true);
    modeSwithButton_->setText(QString::fromUtf8(kModeTitle));
    layoutSubviews();
    changeUserType(kUserType);
}

void TopBarView::layoutSubviews() {
    iconImageView_->setGeometry(kIconLeft, (height() - kIconSide) / 2, kIconSide, kIconSide);
    // The logo is clipped to rounded corners.
    iconImageView_->setCornerRadius(kIconCornerRadius);
    const QSize stack = titleStack_->sizeHint();
    titleStack_->setGeometry(kIconLeft + kIconSide + kStackGap, (height() - stack.height()) / 2,
                             stack.width(), stack.height());
    const int buttonWidth = std::max(kButtonMinimumWidth, modeSwithButton_->sizeHint().width());
    modeSwithButton_->setGeometry((width() - buttonWidth) / 2, (height() - kButtonHeight) / 2,
                                  buttonWidth, kButtonHeight);
}

InterviewTypeView* TopBarView::interviewTypeView() {
    if (!interviewTypeView_) {
        auto* card = new InterviewTypeView;
        card->resize(400, 430);
        card->setCornerRadius(10);
        interviewTypeView_ = card;
    }
    return interviewTypeView_.data();
}

void TopBarView::modeSwithButtonClicked() {
    showTypeChooser();
}

void TopBarView::showTypeChooser() {
    consoleLog("📤 模型切换");
    InterviewTypeView* card = interviewTypeView();
    if (QWidget* host = ApplicationWindows::contentView(ApplicationWindows::keyWindow())) {
        auto* overlay = new MYCenterPopView;
        overlay->show(card, host, MYCenterPopView::Content::kept);
    }
    // Whatever was chosen, the bar only ever sends type 4; a bar that is gone sends nothing.
    card->selectInterviewBlock = [bar = QPointer<TopBarView>(this)](int) {
        if (bar) bar->changeUserType(kUserType);
    };
}

void TopBarView::changeUserType(int type) {
    const std::string path = kChangeUserTypePath + std::to_string(type);
    HttpDatas::shared().request(
        path, HTTPMethod::Put, std::nullopt, std::nullopt,
        [bar = QPointer<TopBarView>(this)](std::optional<bool> failed,
                                           std::optional<nlohmann::json> reply, auto) {
            if (failed != false || !reply) return;
            const auto model = ReplyMapper::map<BaseNetModel>(*reply);
            if (bar && model && model->message) {
                bar->modeSwithButton_->setText(QString::fromUtf8(kModeTitle));
            }
        });
}

}  // namespace pex
