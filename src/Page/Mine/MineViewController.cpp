#include "Page/Mine/MineViewController.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <algorithm>
#include <functional>

#include "Page/Records/ConsumeViewController.h"
#include "Page/Records/OrderViewController.h"
#include "Page/View/ContactView.h"
#include "Page/ViewAppearance.h"
#include "Tools/AppImages.h"
#include "Tools/ColorExtension.h"
#include "Tools/ContentWindow.h"
#include "Tools/NotificationNames.h"
#include "Tools/PinToParent.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "Tools/WindowLifecycle.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/appkit/SystemFont.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/LoginUserModel.h"
#include "service/ReplyMapper.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

constexpr int kInset = 20;
constexpr int kCardHeight = 80;
constexpr int kTimeCardTop = 120;
constexpr int kRecordCardGap = 23;
constexpr int kHeadingLeft = 23;
constexpr int kHeadingTop = 11;
constexpr int kAvatarSide = 40;
constexpr int kRowTop = 38;
constexpr int kRuleHeight = 3;
constexpr int kButtonRowTop = 20;
constexpr int kButtonSpacing = 30;
constexpr int kChannelGap = 46;
constexpr int kChannelLeftGap = 16;
constexpr int kChannelHeight = 33;
constexpr int kTipWidth = 300;
constexpr int kTipHeight = 160;
constexpr auto kSignOutDelay = std::chrono::milliseconds(250);

const char* const kRecordImage = "start_font_length";

// A card or page whose subviews are placed by its owner whenever its size or a subview's
// preferred size changes.
class LayoutView : public LayerBackedView {
  public:
    using LayerBackedView::LayerBackedView;
    std::function<void()> onLayout;

  protected:
    void layoutSubviews() override {
        if (onLayout) onLayout();
    }
};

LayoutView* makeCard(QWidget* parent) {
    auto* card = new LayoutView(parent);
    card->setLayerBackgroundColor(Color::grey(1));
    card->setCornerRadius(10);
    return card;
}

QWidget* makeRule(QWidget* parent) {
    auto* rule = new LayerBackedView(parent);
    rule->setLayerBackgroundColor(themeMainColor());
    return rule;
}

QLabel* makeHeading(const QString& text, QWidget* parent) {
    QLabel* heading = makeTextLabel(text, parent);
    setTextColor(heading, themeGrayColor());
    return heading;
}

void placeAtHint(QWidget* view, int left, int top) {
    const QSize size = view->sizeHint();
    view->setGeometry(left, top, size.width(), size.height());
}

// The right edge at `right`, the top at `top`.
void placeRightAligned(QWidget* view, int right, int top) {
    const QSize size = view->sizeHint();
    view->setGeometry(right - size.width(), top, size.width(), size.height());
}

// Tells its owner when a record window is about to close.
class WindowCloseWatcher : public QObject {
  public:
    WindowCloseWatcher(QWidget* window, std::function<void(QWidget*)> willClose)
        : QObject(window), window_(window), willClose_(std::move(willClose)) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Close && willClose_) willClose_(window_);
        return false;
    }

  private:
    QWidget* window_;
    std::function<void(QWidget*)> willClose_;
};

void deleteIfDetached(QWidget* view) {
    if (view && !view->parent()) delete view;
}

}  // namespace

MineViewController::MineViewController(QObject* parent)
    : ViewController(parent),
      recordButtons_{{QStringLiteral("面试记录"), QString::fromLatin1(kRecordImage)},
                     {QStringLiteral("消费记录"), QString::fromLatin1(kRecordImage)},
                     {QStringLiteral("充值记录"), QString::fromLatin1(kRecordImage)},
                     {QStringLiteral("联系客服"), QString::fromLatin1(kRecordImage)},
                     {QStringLiteral("账号注销"), QString::fromLatin1(kRecordImage)}} {
    logoffTipView();
}

MineViewController::~MineViewController() {
    // Views the page holds while they are off screen; on screen their superview owns them.
    deleteIfDetached(logoffTipView_.data());
    deleteIfDetached(historyView_.data());
    deleteIfDetached(netChannelV_.data());
}

CommonTipView* MineViewController::logoffTipView() {
    // One card, kept between shows: the pop-up host hands it back when it closes.
    if (!logoffTipView_) {
        auto* tip = new CommonTipView;
        tip->resize(kTipWidth, kTipHeight);
        tip->titleLabel()->setText(QStringLiteral("温馨提示"));
        tip->contentLabel()->setText(QStringLiteral(
            "注销后您的身份、账户信息、钱包余额及优惠卷、订单信息都将会被清空且无法找回"));
        tip->cancelButton()->setText(QStringLiteral("取消"));
        tip->sureButton()->setText(QStringLiteral("注销"));
        logoffTipView_ = tip;
    }
    return logoffTipView_.data();
}

HistoryView* MineViewController::historyView() {
    if (!historyView_) historyView_ = new HistoryView;
    return historyView_.data();
}

NetChannelView* MineViewController::netChannelV() {
    if (!netChannelV_) netChannelV_ = new NetChannelView;
    return netChannelV_.data();
}

std::vector<QWidget*> MineViewController::openWindows() const {
    std::vector<QWidget*> windows;
    for (const QPointer<QWidget>& window : openWindows_) {
        if (window) windows.push_back(window.data());
    }
    return windows;
}

QPushButton* MineViewController::recordButton(const QString& title) const {
    if (!buttonRow_) return nullptr;
    for (QPushButton* button : buttonRow_->findChildren<QPushButton*>()) {
        if (button->text() == title) return button;
    }
    return nullptr;
}

// MARK: - Building the page

void MineViewController::loadView() {
    auto* page = new LayoutView;
    page->setLayerBackgroundColor(colorWithHex(0xF0FBF9));
    QPointer<MineViewController> weak(this);
    page->onLayout = [weak] {
        if (weak) weak->layoutPage();
    };
    setView(page);
}

void MineViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    QWidget* page = view();
    buildProfileCard(page);
    buildTimeCard(page);
    buildRecordCard(page);
    QPointer<MineViewController> weak(this);
    // Removed with the page, so a notification never reaches a page that is gone.
    interviewTypeObserver_ = ScopedObserver(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(
            NotificationNames::interviewType, nullptr, [weak](const Notification& notification) {
                if (weak) weak->handleMyNotification(notification);
            }));
    buildChannelRow(page);
    ViewAppearance::observe(page, [weak] {
        if (weak) weak->requestUserInfo();
    });
    layoutPage();
}

void MineViewController::buildProfileCard(QWidget* page) {
    LayoutView* card = makeCard(page);
    profileCard_ = card;
    avatarImageView_ = new ImageView(AppImages::named(QStringLiteral("logo")), card);
    // Round, clipped to a corner radius of half its side.
    avatarImageView_->resize(kAvatarSide, kAvatarSide);
    avatarImageView_->setCornerRadius(kAvatarSide / 2.0);
    phoneLabel_ = makeTextLabel(QString(), card);
    idLabel_ = makeTextLabel(QStringLiteral("ID: "), card);
    copyButton_ = new QPushButton(QStringLiteral("复制"), card);
    copyButton_->setFont(systemFont(13));
    copyButton_->setStyleSheet(QStringLiteral(
        "QPushButton { background: white; border: 1px solid #D0D0D0; border-radius: 6px;"
        " padding: 2px 10px; }"
        "QPushButton:pressed { background: #E8E8E8; }"));
    QObject::connect(copyButton_, &QPushButton::clicked, this, [this] { copyTap(); });
    QPointer<MineViewController> weak(this);
    card->onLayout = [weak] {
        if (weak) weak->layoutProfileCard();
    };
}

void MineViewController::buildTimeCard(QWidget* page) {
    LayoutView* card = makeCard(page);
    progressContainer_ = card;
    timeHeading_ = makeHeading(QStringLiteral("时长"), card);
    localTitleLabel_ = makeTextLabel(QStringLiteral("国内面试时长"), card);
    localTimeLabel_ = makeTextLabel(QStringLiteral("00:00:00"), card);
    localProgress_ = makeRule(card);
    overseasTitleLabel_ = makeTextLabel(QStringLiteral("国外面试时长"), card);
    overseasTimeLabel_ = makeTextLabel(QStringLiteral("00:00:00"), card);
    overseasProgress_ = makeRule(card);
    QPointer<MineViewController> weak(this);
    card->onLayout = [weak] {
        if (weak) weak->layoutTimeCard();
    };
}

void MineViewController::buildRecordCard(QWidget* page) {
    LayoutView* card = makeCard(page);
    buttonContainer_ = card;
    recordHeading_ = makeHeading(QStringLiteral("查看"), card);
    buttonRow_ = new QWidget(card);
    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kButtonSpacing);
    for (const auto& [title, image] : recordButtons_) {
        auto* button = new QPushButton(AppImages::named(image), title, buttonRow_);
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral(
            "QPushButton { background-color: #CFFCF6; border: none; border-radius: 8px;"
            " color: #00CEB0; padding: 4px 10px; }"
            "QPushButton:pressed { background-color: #B5F3EA; }"));
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, button] { recordButtonTapped(button); });
        row->addWidget(button, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    QPointer<MineViewController> weak(this);
    card->onLayout = [weak] {
        if (weak) weak->layoutRecordCard();
    };
}

void MineViewController::buildChannelRow(QWidget* page) {
    channelHeading_ = makeTextLabel(QStringLiteral("线路选择:"), page);
    channelHeading_->setFont(systemFont(14));
    setTextColor(channelHeading_, Color::grey(0));
    channelHeading_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    NetChannelView* channels = netChannelV();
    channels->setParent(page);
    channels->show();
}

void MineViewController::layoutPage() {
    QWidget* page = viewIfLoaded();
    if (!page || !profileCard_ || !channelHeading_) return;
    const int cardWidth = std::max(0, page->width() - 2 * kInset);
    profileCard_->setGeometry(kInset, kInset, cardWidth, kCardHeight);
    progressContainer_->setGeometry(kInset, kTimeCardTop, cardWidth, timeCardHeight_);
    const int recordTop = kTimeCardTop + timeCardHeight_ + kRecordCardGap;
    buttonContainer_->setGeometry(kInset, recordTop, cardWidth, kCardHeight);

    placeAtHint(channelHeading_, kInset, recordTop + kCardHeight + kChannelGap);
    if (NetChannelView* channels = netChannelV_.data()) {
        const int left = channelHeading_->geometry().right() + 1 + kChannelLeftGap;
        const int centre = channelHeading_->geometry().center().y();
        channels->setGeometry(left, centre - kChannelHeight / 2,
                              std::max(0, page->width() - kInset - left), kChannelHeight);
    }
}

void MineViewController::layoutProfileCard() {
    avatarImageView_->setGeometry(kInset, (profileCard_->height() - kAvatarSide) / 2, kAvatarSide,
                                  kAvatarSide);
    const int textLeft = kInset + kAvatarSide + 10;
    placeAtHint(phoneLabel_, textLeft, avatarImageView_->y() + 2);
    placeAtHint(idLabel_, textLeft, phoneLabel_->geometry().bottom() + 1 + 8);
    const QSize button = copyButton_->sizeHint();
    copyButton_->setGeometry(idLabel_->geometry().right() + 1 + 10,
                             idLabel_->geometry().center().y() - button.height() / 2,
                             button.width(), button.height());
}

void MineViewController::layoutTimeCard() {
    const int width = progressContainer_->width();
    placeAtHint(timeHeading_, kHeadingLeft, kHeadingTop);
    placeAtHint(localTitleLabel_, kInset, kRowTop);
    placeRightAligned(localTimeLabel_, width - kInset, kRowTop);
    localProgress_->setGeometry(kInset, localTitleLabel_->geometry().bottom() + 1 + 4,
                                std::max(0, width - 2 * kInset), kRuleHeight);
    const int overseasTop = localProgress_->geometry().bottom() + 1 + 10;
    placeAtHint(overseasTitleLabel_, kInset, overseasTop);
    placeRightAligned(overseasTimeLabel_, width - kInset, overseasTop);
    overseasProgress_->setGeometry(kInset, overseasTitleLabel_->geometry().bottom() + 1 + 4,
                                   localProgress_->width(), kRuleHeight);
}

void MineViewController::layoutRecordCard() {
    placeAtHint(recordHeading_, kHeadingLeft, kHeadingTop);
    buttonRow_->setGeometry(kHeadingLeft, kButtonRowTop,
                            std::max(0, buttonContainer_->width() - 2 * kHeadingLeft),
                            std::max(0, buttonContainer_->height() - kButtonRowTop));
}

// MARK: - Profile

void MineViewController::requestUserInfo() {
    const auto stored = SettingsStore::record(DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    if (stored) {
        userModel_ = stored;
        updateUserLabels(*stored);
    }
    sendUserInfoRequest();
    netChannelV()->refreshChannels();
}

void MineViewController::sendUserInfoRequest() {
    QPointer<MineViewController> weak(this);
    HttpDatas::shared().request(
        "/user/info", HTTPMethod::Get, std::nullopt, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (weak) weak->handleUserInfoReply(failed, reply);
        });
}

void MineViewController::handleUserInfoReply(std::optional<bool> failed,
                                             const std::optional<nlohmann::json>& reply) {
    // Failures were already shown by the service client.
    if (failed != false || !reply) return;
    // A profile that arrives after the login ended must not be stored for the next user.
    if (!SettingsStore::string(SettingsKeys::loginToken)) return;
    const nlohmann::json& data = lenient::field(*reply, "data");
    if (!ReplyMapper::map<LoginUserModel>(data)) return;
    UserBaseModel model = UserBaseModel::fromJSON(lenient::field(data, "user"));
    userModel_ = model;
    SettingsStore::setRecord(std::optional(model),
                             DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    updateUserLabels(model);
}

void MineViewController::updateUserLabels(const UserBaseModel& model) {
    if (!isViewLoaded()) return;
    phoneLabel_->setText(QString::fromStdString(model.phone));
    idLabel_->setText(QStringLiteral("ID:") + QString::fromStdString(model.user_code));
    overseasTitleLabel_->hide();
    overseasTimeLabel_->hide();
    overseasProgress_->hide();
    localTitleLabel_->setText(QStringLiteral("面试时长"));
    localTimeLabel_->setText(QString::fromStdString(model.remainingTimeText()));
    timeCardHeight_ = kFilledTimeCardHeight;
    layoutPage();
}

void MineViewController::handleMyNotification(const Notification& notification) {
    const nlohmann::json& type = lenient::field(notification.userInfo, "type");
    if (!type.is_number_integer()) return;
    consoleLog("收到通知内容：" + std::to_string(type.get<std::int64_t>()));
    sendUserInfoRequest();
}

void MineViewController::copyTap() {
    // Nothing to copy: the clipboard keeps what the user had there.
    if (!userModel_ || userModel_->user_code.empty()) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(userModel_->user_code));
    StatusHUD::showMessage(QStringLiteral("已复制到剪切板"), StatusHUDMode::text);
}

// MARK: - Record buttons

void MineViewController::recordButtonTapped(QPushButton* button) {
    if (!button) return;
    const QString title = button->text();
    consoleLog("点击：" + title.toStdString());
    if (title == QStringLiteral("消费记录")) {
        showConsumeRecords();
    } else if (title == QStringLiteral("充值记录")) {
        showOrderRecords();
    } else if (title == QStringLiteral("联系客服")) {
        showContact();
    } else if (title == QStringLiteral("账号注销")) {
        confirmLogoff();
    } else if (title == QStringLiteral("面试记录")) {
        showHistory();
    }
}

void MineViewController::showHistory() {
    QWidget* page = view();
    QWidget* window = page->window();
    QWidget* content = window == page ? nullptr : ApplicationWindows::contentView(window);
    if (!content) {
        consoleLog("⚠️ 当前 View 不在窗口中，无法添加到 window.contentView");
        return;
    }
    HistoryView* panel = historyView();
    addSubview(content, panel);
    panel->reload();
    pinEdgesToParent(panel);
}

void MineViewController::showContact() {
    MYCenterPopView::showInKeyWindow(ContactView::makeCard());
}

void MineViewController::showOrderRecords() {
    openRecordWindow(new OrderViewController, QStringLiteral("充值明细"));
}

void MineViewController::showConsumeRecords() {
    openRecordWindow(new ConsumeViewController, QStringLiteral("消费明细"));
}

void MineViewController::openRecordWindow(ViewController* controller, const QString& title) {
    auto* window = new ContentWindow(controller);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    window->setContentSize({RecordListViewController::kWidth, RecordListViewController::kHeight});
    window->setFixedSize(window->size());
    window->center();
    window->setWindowTitle(title);
    WindowLifecycle::shared().track(window, WindowLifecycle::Role::record);
    window->makeKeyAndOrderFront();
    openWindows_.emplace_back(window);
    QPointer<MineViewController> weak(this);
    new WindowCloseWatcher(window, [weak](QWidget* closing) {
        if (weak) weak->recordWindowWillClose(closing);
    });
}

void MineViewController::recordWindowWillClose(QWidget* window) {
    std::erase_if(openWindows_, [window](const QPointer<QWidget>& open) {
        return open.isNull() || open.data() == window;
    });
}

// MARK: - Account deletion

void MineViewController::confirmLogoff() {
    CommonTipView* tip = logoffTipView();
    if (ApplicationWindows::contentView(ApplicationWindows::keyWindow())) {
        MYCenterPopView::showInKeyWindow(tip, MYCenterPopView::Content::kept);
    }
    QPointer<MineViewController> weak(this);
    tip->sureBlock = [weak] {
        if (weak) weak->requestLogoff();
    };
}

void MineViewController::requestLogoff() {
    QPointer<MineViewController> weak(this);
    // A session still running is ended first, as for a logout: its final usage report has to
    // reach the service while the account and its token still exist there.
    WindowLifecycle::shared().endSessions([weak] {
        if (!weak) return;
        HttpDatas::shared().request(
            "/user/logoff", HTTPMethod::Post, std::nullopt, std::nullopt,
            [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
                   std::optional<std::string>) {
                if (weak) weak->handleLogoffReply(failed, reply);
            });
    });
}

void MineViewController::handleLogoffReply(std::optional<bool> failed,
                                           const std::optional<nlohmann::json>& reply) {
    // The service client has shown the failure; the user stays signed in.
    if (failed != false || !reply) return;
    StatusHUD::showMessage(QString::fromStdString(lenient::text(*reply, "message")),
                           StatusHUDMode::text);
    // The account is gone on the service: the sign-out follows even if the page goes first.
    DispatchQueue::main().asyncAfter(kSignOutDelay, [] {
        consoleLog("=======");
        WindowLifecycle::shared().signOut(SettingsStore::AutoLogin::forget);
    });
}

}  // namespace pex
