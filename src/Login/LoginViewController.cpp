#include "Login/LoginViewController.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "Login/CaptchaPage.h"
#include "Login/CountryListViewController.h"
#include "Page/View/ContactView.h"
#include "Page/View/NetChannelView.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ContentWindow.h"
#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "Tools/WindowLifecycle.h"
#include "platform/appkit/Popover.h"
#include "platform/appkit/SystemFont.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "service/BaseNetModel.h"
#include "service/ConsoleLog.h"
#include "service/ConsoleRedaction.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/LoginUserModel.h"
#include "service/ReplyMapper.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"

namespace pex {

namespace {

constexpr int kNetChannelLeft = 66;
constexpr int kNetChannelHeight = 33;
constexpr int kNetChannelBottom = 13;
constexpr int kFormWidth = 380;
constexpr int kRowHeight = 40;

const char* const kSendCodeTitle = "发送验证码";
const char* const kCodePlaceholder = "请输入验证码";
const char* const kPasswordPlaceholder = "请输入至少6位的密码";
const char* const kBlankCredentials = "用户名和密码不能为空！";

// The platform's green, the colour of the login button.
const Color& systemGreenColor() {
    static const Color green = Color::rgb(52 / 255.0, 199 / 255.0, 89 / 255.0);
    return green;
}

void showShortMessage(const QString& text) {
    StatusHUD::showMessage(text, StatusHUDMode::text);
}

// The busy HUD of one login request. It is hidden when the request's completion runs, and also
// when the client drops the completion without calling it (an HTTP 401 reply ends the login
// elsewhere), so the HUD never stays up over the window.
class LoginBusyState {
  public:
    LoginBusyState() {
        StatusHUD::shared().show(QStringLiteral("登录中..."), StatusHUDMode::indeterminate);
    }
    ~LoginBusyState() {
        if (!ended_) DispatchQueue::main().async([] { StatusHUD::shared().hide(true); });
    }
    LoginBusyState(const LoginBusyState&) = delete;
    LoginBusyState& operator=(const LoginBusyState&) = delete;

    void end() {
        if (ended_) return;
        ended_ = true;
        StatusHUD::shared().hide(true);
    }

  private:
    bool ended_ = false;
};

// A white rounded box that holds one row of the form.
LayerBackedView* makeFieldBox(QWidget* parent) {
    auto* box = new LayerBackedView(parent);
    box->setLayerBackgroundColor(Color::grey(1));
    box->setCornerRadius(6);
    box->setBorderWidth(1);
    box->setBorderColor(Color::grey(0.88));
    box->setFixedHeight(kRowHeight);
    return box;
}

// A borderless entry without background: the box around it draws the field. Its accessible
// name is what assistive tools read (and find it by) while the placeholder is gone.
QLineEdit* makeEntry(QWidget* parent, const QString& placeholder, const QString& name) {
    auto* entry = new QLineEdit(parent);
    entry->setPlaceholderText(placeholder);
    entry->setAccessibleName(name);
    entry->setFrame(false);
    entry->setAttribute(Qt::WA_MacShowFocusRect, false);  // no focus ring
    entry->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    entry->setFont(systemFont(14));
    return entry;
}

// A token goes out in a header line on every request: one holding a line break or another
// control character could never be sent as it stands, so it is no token at all.
bool isUsableToken(const std::optional<std::string>& token) {
    return token && !token->empty() && std::none_of(token->begin(), token->end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7f;
           });
}

// An international phone number has at most 15 digits, the country's calling code included
// (E.164): the field takes no more than what is left for the number.
int longestPhoneNumber(const CountryListModel& country) {
    constexpr int kLongestInternationalNumber = 15;
    const std::string code = country.country_code.value_or("");
    const auto codeDigits =
        std::count_if(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
    return std::max(1, kLongestInternationalNumber - static_cast<int>(codeDigits));
}

std::string textOf(const QLineEdit* entry) {
    return entry ? entry->text().toStdString() : std::string();
}

}  // namespace

LoginViewController::LoginViewController(QObject* parent)
    : ViewController(parent), popover(new Popover(this)) {
    countryModel.code = "CN";
    countryModel.name_en = "China";
    countryModel.country_code = "86";
    countryModel.name_zn = "中国";
}

LoginViewController::~LoginViewController() {
    stopCountdown();
    // The country list calls this controller as its delegate: it goes while this is whole.
    delete popover;
}

QString LoginViewController::areaText(const CountryListModel& country) {
    const std::string code = country.country_code.value_or("");
    if (code.empty()) return QString::fromUtf8(kNoCountryText);
    const std::string name = country.name_zn.value_or("");
    if (name.empty()) return QString::fromStdString("+" + code);
    return QString::fromStdString("+" + code + " (" + name + ")");
}

NetChannelView* LoginViewController::netChannelV() {
    if (!netChannel_) netChannel_ = new NetChannelView();
    return netChannel_.data();
}

void LoginViewController::loadView() {
    auto* view = new LayerBackedView;
    auto* outer = new QVBoxLayout(view);
    outer->setContentsMargins(0, 36, 0, kNetChannelHeight + kNetChannelBottom + 12);
    outer->setSpacing(0);

    auto* form = new QWidget(view);
    form->setFixedWidth(kFormWidth);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto* logo = new ImageView(AppImages::named(QStringLiteral("logo")), form);
    logo->setFixedSize(56, 56);
    column->addWidget(logo, 0, Qt::AlignHCenter);
    // Labels show plain text, never markup: the country name comes from the service.
    QLabel* title = makeTextLabel(QStringLiteral("欢迎登录"), form);
    title->setFont(systemFont(17, 0.3));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    column->addSpacing(8);

    // Country and phone.
    auto* phoneBox = makeFieldBox(form);
    auto* phoneRow = new QHBoxLayout(phoneBox);
    phoneRow->setContentsMargins(12, 0, 12, 0);
    areaLabel = makeTextLabel(QString(), phoneBox);
    areaLabel->setFont(systemFont(14));
    areaLabel->setCursor(Qt::PointingHandCursor);
    areaLabel->setMinimumWidth(96);
    phoneRow->addWidget(areaLabel);
    phoneLabel = makeEntry(phoneBox, QStringLiteral("请输入手机号"), QStringLiteral("手机号"));
    phoneRow->addWidget(phoneLabel, 1);
    column->addWidget(phoneBox);

    // Code or password: the plain and the masked entry share one place.
    auto* codeBox = makeFieldBox(form);
    auto* codeRow = new QHBoxLayout(codeBox);
    codeRow->setContentsMargins(12, 0, 6, 0);
    auto* entries = new QGridLayout;
    entries->setContentsMargins(0, 0, 0, 0);
    codeLabel = makeEntry(codeBox, QString::fromUtf8(kCodePlaceholder), QStringLiteral("验证码"));
    secureField =
        makeEntry(codeBox, QString::fromUtf8(kPasswordPlaceholder), QStringLiteral("密码"));
    secureField->setEchoMode(QLineEdit::Password);
    entries->addWidget(codeLabel, 0, 0);
    entries->addWidget(secureField, 0, 0);
    codeRow->addLayout(entries, 1);
    eyeIcon = new ImageView(AppImages::named(QStringLiteral("icon_pd_true")), codeBox);
    eyeIcon->setFixedSize(22, 22);
    eyeIcon->setAccessibleName(QStringLiteral("显示密码"));
    eyeIcon->setCursor(Qt::PointingHandCursor);
    codeRow->addWidget(eyeIcon);
    sendCodeButton = new QPushButton(codeBox);
    sendCodeButton->setFixedHeight(30);
    sendCodeButton->setMinimumWidth(104);
    codeRow->addWidget(sendCodeButton);
    column->addWidget(codeBox);

    // Stay signed in, and the way to the customer service.
    auto* optionsRow = new QHBoxLayout;
    autoLoginBtn = new QCheckBox(QStringLiteral("自动登录"), form);
    optionsRow->addWidget(autoLoginBtn);
    optionsRow->addStretch(1);
    contractLabel = makeTextLabel(QStringLiteral("联系客服"), form);
    contractLabel->setCursor(Qt::PointingHandCursor);
    contractLabel->setStyleSheet(QStringLiteral("color: #19CFAE;"));
    optionsRow->addWidget(contractLabel);
    column->addLayout(optionsRow);

    loginButton = new QPushButton(QStringLiteral("登录"), form);
    loginButton->setFixedHeight(kRowHeight);
    loginButton->setFont(systemFont(15, 0.3));
    column->addWidget(loginButton);

    outer->addWidget(form, 0, Qt::AlignHCenter | Qt::AlignTop);
    outer->addStretch(1);
    setView(view);
}

void LoginViewController::viewDidLoad() {
    auto* background = static_cast<LayerBackedView*>(view());
    background->setLayerBackgroundColor(themeLoginBackgroundColor());

    ClickGestureRecognizer::attach(areaLabel,
                                   [this](ClickGestureRecognizer&) { showCountryList(); });

    sendCodeButton->setText(QString::fromUtf8(kSendCodeTitle));
    sendCodeButton->setEnabled(true);
    connect(sendCodeButton, &QPushButton::clicked, this, [this] { sendCodeTap(); });

    const QColor green = systemGreenColor().toQColor();
    loginButton->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: white; border: none;"
                       " border-radius: 6px; } QPushButton:pressed { background-color: %2; }")
            .arg(green.name(), green.darker(115).name()));
    connect(loginButton, &QPushButton::clicked, this, [this] { loginTap(); });
    // Return in any field of the form does what "登录" does.
    for (QLineEdit* entry : {phoneLabel.data(), codeLabel.data(), secureField.data()}) {
        connect(entry, &QLineEdit::returnPressed, this, [this] { loginTap(); });
    }

    ClickGestureRecognizer::attach(contractLabel,
                                   [this](ClickGestureRecognizer&) { contractTap(); });
    ClickGestureRecognizer::attach(eyeIcon, [this](ClickGestureRecognizer&) { eyeTap(); });

    codeLabel->setHidden(true);
    areaLabel->setText(areaText(countryModel));
    phoneLabel->setMaxLength(longestPhoneNumber(countryModel));

    // The box shows what is stored, so that it never contradicts the next launch.
    selectAutoLogin = SettingsStore::boolean(SettingsKeys::isAutoLogin);
    autoLoginBtn->setChecked(selectAutoLogin);
    connect(autoLoginBtn, &QCheckBox::clicked, this, [this] { autoLoginTap(); });

    fetchLoginMethod();

    NetChannelView* channels = netChannelV();
    channels->setParent(view());
    channels->show();
    channels->installEventFilter(this);
    watchedNetChannel_ = channels;
    view()->installEventFilter(this);
    layoutNetChannel();
}

void LoginViewController::layoutNetChannel() {
    if (!netChannel_ || !isViewLoaded()) return;
    const int width = std::max(netChannel_->sizeHint().width(), 0);
    netChannel_->setGeometry(kNetChannelLeft,
                             view()->height() - kNetChannelBottom - kNetChannelHeight, width,
                             kNetChannelHeight);
}

bool LoginViewController::eventFilter(QObject* watched, QEvent* event) {
    if (isViewLoaded() && watched == view() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) {
        layoutNetChannel();
    } else if (watched == watchedNetChannel_.data() && event->type() == QEvent::LayoutRequest) {
        layoutNetChannel();
    } else if (watched == watchedWindow_.data() && event->type() == QEvent::Close) {
        // A closed login window counts down no more.
        stopCountdown();
    }
    return ViewController::eventFilter(watched, event);
}

// MARK: - Login method

void LoginViewController::setSmsCodeMode() {
    codeLabel->setPlaceholderText(QString::fromUtf8(kCodePlaceholder));
    codeLabel->setAccessibleName(QStringLiteral("验证码"));
    sendCodeButton->setHidden(false);
    eyeIcon->setHidden(true);
    secureField->setHidden(true);
    codeLabel->setHidden(false);
}

void LoginViewController::setPasswordMode() {
    codeLabel->setPlaceholderText(QString::fromUtf8(kPasswordPlaceholder));
    codeLabel->setAccessibleName(QStringLiteral("密码"));
    sendCodeButton->setHidden(true);
    eyeIcon->setHidden(false);
    // Whichever entry the eye chose shows the password.
    secureField->setHidden(!iseyed);
    codeLabel->setHidden(iseyed);
}

void LoginViewController::fetchLoginMethod() {
    setSmsCodeMode();
    QPointer<LoginViewController> weak(this);
    HttpDatas::shared().request(
        "/user/get_login_method", HTTPMethod::Get, std::nullopt, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (!weak || failed != false || !reply) return;
            weak->loginType = static_cast<int>(std::clamp<std::int64_t>(
                lenient::integer(*reply, "data"), std::numeric_limits<int>::min(),
                std::numeric_limits<int>::max()));
            if (weak->loginType == kPasswordLogin) weak->setPasswordMode();
        });
}

// MARK: - Password visibility

void LoginViewController::eyeTap() {
    QLineEdit* const leaving = iseyed ? secureField.data() : codeLabel.data();
    QLineEdit* const shown = iseyed ? codeLabel.data() : secureField.data();
    const bool typing = leaving->hasFocus();
    iseyed = !iseyed;
    eyeIcon->setImage(AppImages::named(
        QStringLiteral("icon_pd_") + (iseyed ? QStringLiteral("true") : QStringLiteral("false"))));
    shown->setText(leaving->text());
    shown->setHidden(false);
    // The user typing the password goes on typing into the entry that now shows it.
    if (typing) shown->setFocus(Qt::OtherFocusReason);
    leaving->setHidden(true);
}

// MARK: - SMS code

void LoginViewController::sendCodeTap() {
    if (areaLabel->text() == QString::fromUtf8(kNoCountryText)) {
        showShortMessage(QStringLiteral("请选择国家！"));
        return;
    }
    if (phoneLabel->text().isEmpty()) {
        showShortMessage(QStringLiteral("请输入手机号！"));
        return;
    }
    QPointer<LoginViewController> weak(this);
    DispatchQueue::main().async([weak] {
        if (weak) weak->showCaptcha();
    });
}

void LoginViewController::showCaptcha() {
    auto* captcha = new CaptchaPage(this);
    QPointer<LoginViewController> weak(this);
    // The captcha window takes the keyboard; once it is gone, typing goes on in the field the
    // user was in, at once rather than when the window system gets round to it.
    const QPointer<QWidget> field(isViewLoaded() ? view()->window()->focusWidget() : nullptr);
    connect(captcha, &QObject::destroyed, this, [weak, field] {
        if (weak) weak->returnFocus(field);
    });
    captcha->onValidateReceived = [weak](const std::string& validate) {
        // The token is a secret of this one request: the console shows that it came, not it.
        consoleLog(std::string("✅ 收到验证码 validate: ") + (validate.empty() ? "" : kRedacted));
        if (weak) weak->sendSmsCode(validate);
    };
    captcha->onFailed = [] {
        StatusHUD::showMessage(QStringLiteral("验证码页面加载失败，请稍后重试"),
                               StatusHUDMode::error);
    };
    presentCaptcha(captcha);
}

void LoginViewController::returnFocus(const QPointer<QWidget>& field) {
    if (!isViewLoaded() || !view()->isVisible()) return;
    QWidget* window = view()->window();
    window->raise();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QWidget* target = field && field->isVisible() ? field.data() : phoneLabel.data();
    if (target) target->setFocus(Qt::OtherFocusReason);
}

void LoginViewController::presentCaptcha(CaptchaPage* captcha) {
    captcha->show();
}

void LoginViewController::sendSmsCode(const std::string& validate) {
    const nlohmann::json body = {{"country_code", countryModel.country_code.value_or("")},
                                 {"phone", textOf(phoneLabel)},
                                 {"data", validate}};
    QPointer<LoginViewController> weak(this);
    HttpDatas::shared().request(
        "/user/send_sms_code", HTTPMethod::Post, body, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (!weak || failed != false || !reply) return;
            weak->startCountdown();
            const auto model = ReplyMapper::map<BaseNetModel>(*reply);
            if (model && model->message && !model->message->empty()) {
                showShortMessage(QString::fromStdString(*model->message));
            }
        });
}

void LoginViewController::startCountdown() {
    stopCountdown();
    sendCodeButton->setEnabled(false);
    updateCountdownTitle();
    QPointer<LoginViewController> weak(this);
    countdownTimer =
        std::make_unique<DispatchTimer>(DispatchQueue::main(), std::chrono::seconds(1), [weak] {
            if (weak) weak->countdownTick();
        });
    countdownTimer->resume();
    // Closing the window ends the countdown with it.
    if (QWidget* window = view()->window(); window != view() && window != watchedWindow_) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = window;
        window->installEventFilter(this);
    }
}

void LoginViewController::updateCountdownTitle() {
    sendCodeButton->setText(QString::number(remainingSeconds) + QStringLiteral("s 后可重试"));
}

void LoginViewController::countdownTick() {
    remainingSeconds -= 1;
    updateCountdownTitle();
    if (remainingSeconds > 0) return;
    stopCountdown();
}

void LoginViewController::stopCountdown() {
    const bool wasRunning = countdownTimer != nullptr;
    countdownTimer.reset();  // cancels; safe from inside the timer's own handler
    remainingSeconds = kCountdownSeconds;
    if (!wasRunning || !sendCodeButton) return;
    sendCodeButton->setText(QString::fromUtf8(kSendCodeTitle));
    sendCodeButton->setEnabled(true);
}

// MARK: - Login

void LoginViewController::loginTap() {
    if (loginInFlight_) return;
    if (areaLabel->text() == QString::fromUtf8(kNoCountryText)) {
        showShortMessage(QStringLiteral("请选择国家！"));
        return;
    }
    if (phoneLabel->text().isEmpty()) {
        showShortMessage(QString::fromUtf8(kBlankCredentials));
        return;
    }
    if (loginType == kPasswordLogin) {
        loginWithPassword();
    } else {
        loginWithCode();
    }
}

void LoginViewController::loginWithPassword() {
    const std::string password = iseyed ? textOf(secureField) : textOf(codeLabel);
    if (password.empty()) {
        showShortMessage(QString::fromUtf8(kBlankCredentials));
        return;
    }
    requestLogin("/user/account/login", {{"country_code", countryModel.country_code.value_or("")},
                                         {"osRegister", kOsRegister},
                                         {"phone", textOf(phoneLabel)},
                                         {"password", password}});
}

void LoginViewController::loginWithCode() {
    const std::string code = textOf(codeLabel);
    if (code.empty()) {
        showShortMessage(QString::fromUtf8(kBlankCredentials));
        return;
    }
    requestLogin("/user/login", {{"country_code", countryModel.country_code.value_or("")},
                                 {"osRegister", kOsRegister},
                                 {"phone", textOf(phoneLabel)},
                                 {"code", code}});
}

void LoginViewController::requestLogin(const std::string& path, nlohmann::json body) {
    auto busy = std::make_shared<LoginBusyState>();
    loginInFlight_ = true;
    QPointer<LoginViewController> weak(this);
    HttpDatas::shared().request(
        path, HTTPMethod::Post, std::move(body), std::nullopt,
        [weak, busy](std::optional<bool> failed, std::optional<nlohmann::json> reply,
                     std::optional<std::string>) {
            busy->end();
            if (weak) weak->loginInFlight_ = false;
            if (!weak || failed != false || !reply) return;
            weak->handleLoginReply(*reply);
        });
}

void LoginViewController::handleLoginReply(const nlohmann::json& reply) {
    const nlohmann::json& data = lenient::field(reply, "data");
    const auto model = ReplyMapper::map<LoginUserModel>(data);
    // Without a token there is no session to store: a reply like that is a failed login.
    if (!model || !isUsableToken(model->token)) {
        consoleLog("登录失败：回复中没有登录凭证");
        StatusHUD::showMessage(QStringLiteral("登录失败，请重试"), StatusHUDMode::error);
        return;
    }
    SettingsStore::set(SettingsKeys::loginToken, *model->token);
    SettingsStore::setRecord(std::optional(UserBaseModel::fromJSON(lenient::field(data, "user"))),
                             DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    openMainWindow();
}

void LoginViewController::openMainWindow() {
    ContentWindow* window = isViewLoaded() ? ContentWindow::windowOf(view()) : nullptr;
    if (!window) return;
    stopCountdown();
    // Replacing the content deletes this controller once the current event is over.
    WindowLifecycle::shared().showMainView(window);
}

// MARK: - Stay signed in

void LoginViewController::autoLoginTap() {
    selectAutoLogin = autoLoginBtn->isChecked();
    SettingsStore::set(SettingsKeys::isAutoLogin, selectAutoLogin);
    consoleLog(selectAutoLogin ? "选中 ✅" : "未选中 ❌");
}

// MARK: - Country

void LoginViewController::showCountryList() {
    auto* list = new CountryListViewController;
    list->delegate = this;
    popover->setContentViewController(list);
    popover->show(areaLabel->rect(), areaLabel);
}

void LoginViewController::didSelectCountry(const CountryListModel& country) {
    countryModel = country;
    areaLabel->setText(areaText(countryModel));
    phoneLabel->setMaxLength(longestPhoneNumber(countryModel));
    popover->close();
}

// MARK: - Contact

void LoginViewController::contractTap() {
    consoleLog("label 被点击了！");
    MYCenterPopView::showInKeyWindow(ContactView::makeCard());
}

}  // namespace pex
