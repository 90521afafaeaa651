#include "Page/About/AboutMeViewController.h"

#include <QVBoxLayout>
#include <compare>

#include "Page/About/VersionOrder.h"
#include "Page/ViewAppearance.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ImageView.h"
#include "Tools/PinToParent.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/SystemFont.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/ReplyMapper.h"

namespace pex {

namespace {
constexpr int kStackSide = 300;
constexpr int kStackSpacing = 10;
constexpr int kLogoSide = 100;
constexpr int kButtonGap = 25;
constexpr int kButtonWidth = 280;
constexpr int kButtonHeight = 40;
constexpr double kBoldWeight = 0.4;

void deleteIfDetached(QWidget* view) {
    if (view && !view->parent()) delete view;
}
}  // namespace

AboutMeViewController::AboutMeViewController(QObject* parent) : BaseViewController(parent) {}

AboutMeViewController::~AboutMeViewController() {
    // Views the page holds while they are off screen; on screen their superview owns them.
    deleteIfDetached(tipView_.data());
    deleteIfDetached(sureBtn_.data());
}

CustomButton* AboutMeViewController::sureBtn() {
    if (!sureBtn_) {
        auto* button = new CustomButton;
        button->setCornerRadius(10);
        button->setLayerBackgroundColor(themeMainColor());
        button->titleLab()->setText(QStringLiteral("检查最新版本"));
        button->titleLab()->setFont(themeFont14());
        setTextColor(button->titleLab(), Color::grey(1));
        button->iconImg()->hide();
        QPointer<AboutMeViewController> weak(this);
        ClickGestureRecognizer::attach(button, [weak](ClickGestureRecognizer&) {
            if (weak) weak->checkForUpdates();
        });
        sureBtn_ = button;
    }
    return sureBtn_.data();
}

VersionForceAlertView* AboutMeViewController::tipView() {
    if (!tipView_) tipView_ = new VersionForceAlertView;
    return tipView_.data();
}

void AboutMeViewController::setupUI() {
    QWidget* page = view();
    auto* stack = new QWidget(page);
    stack_ = stack;
    auto* column = new QVBoxLayout(stack);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kStackSpacing);

    auto* logo = new ImageView(AppImages::named(QStringLiteral("logo")), stack);
    logo->setFixedSize(kLogoSide, kLogoSide);
    column->addWidget(logo, 0, Qt::AlignHCenter);

    QLabel* title = makeTextLabel(QStringLiteral("Pexmora"), stack);
    title->setFont(systemFont(24, kBoldWeight));
    column->addWidget(title, 0, Qt::AlignHCenter);

    QLabel* version = makeTextLabel(QStringLiteral("V1.0.0"), stack);
    version->setFont(systemFont(12));
    versionLabel_ = version;
    column->addWidget(version, 0, Qt::AlignHCenter);

    CustomButton* button = sureBtn();
    button->setParent(stack);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    column->addSpacing(kButtonGap - kStackSpacing);
    column->addWidget(button, 0, Qt::AlignHCenter);
    column->addStretch(1);
    // Built and laid out, but never shown: the check is not offered to users.
    button->hide();

    QPointer<AboutMeViewController> weak(this);
    ViewAppearance::observe(page, [weak] {
        if (weak) weak->viewWillAppear();
    });
}

void AboutMeViewController::setupConstraints() {
    centreInParent(stack_.data(), {kStackSide, kStackSide});
}

void AboutMeViewController::viewWillAppear() {
    if (!versionLabel_) return;
    const std::string installed = bundle_.shortVersion();
    if (installed.empty()) return;
    versionLabel_->setText(QStringLiteral("当前版本：") + QString::fromStdString(installed));
}

void AboutMeViewController::checkForUpdates() {
    consoleLog("检查更新");
    QPointer<AboutMeViewController> weak(this);
    HttpDatas::shared().request(
        "/operation/version", HTTPMethod::Get, std::nullopt, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (weak) weak->handleVersionReply(failed, reply);
        });
}

void AboutMeViewController::handleVersionReply(std::optional<bool> failed,
                                               const std::optional<nlohmann::json>& reply) {
    // Failures were already shown by the service client.
    if (failed != false || !reply) return;
    const nlohmann::json data =
        reply->is_object() && reply->contains("data") ? reply->at("data") : nlohmann::json();
    const auto model = ReplyMapper::map<CheckVersionModel>(data);
    if (!model || !model->version || !model->min_version) return;
    // Only a version newer than the one running is an update; an unknown installed version
    // counts as the oldest.
    if (compareVersions(*model->version, bundle_.shortVersion()) > 0) {
        showUpdateAlert(*model);
    } else {
        showLatestVersionAlert();
    }
}

void AboutMeViewController::showLatestVersionAlert() {
    Alert alert;
    alert.messageText = QStringLiteral("当前已经是最新版本");
    alert.informativeText = QString();
    alert.alertStyle = Alert::Style::warning;
    alert.addButton(QStringLiteral("确定"));
    alert.icon = AppImages::named(QStringLiteral("logo"));
    alert.runModal();
}

void AboutMeViewController::showUpdateAlert(const CheckVersionModel& model) {
    VersionForceAlertView* alert = tipView();
    addSubview(view(), alert);
    alert->model = model;
    alert->configure();
    pinEdgesToParent(alert);
}

}  // namespace pex
