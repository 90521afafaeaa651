// Text that comes from the service is shown as it is, never read as markup: markup fed
// through each place that shows such text (the country of the login window, the service
// lines, the packages on sale, the order and consumption records, the profile, the résumé
// name, the update notes, the languages, short messages) appears literally.
#include <QApplication>
#include <QLabel>
#include <QPointer>

#include <gtest/gtest.h>

#include "Login/LoginViewController.h"
#include "Tools/ContentWindow.h"
#include "Page/AIInterviewPages/AISettingViewController.h"
#include "Page/AIInterviewPages/InterviewSettingViewController.h"
#include "Page/About/VersionForceAlertView.h"
#include "Page/Mine/MineViewController.h"
#include "Page/Records/ConsumeCellMac.h"
#include "Page/View/ChannelButtonView.h"
#include "Page/View/NetChannelView.h"
#include "Page/View/RechargeCellView.h"
#include "Page/View/UpdateResumeView.h"
#include "PageFixture.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"

namespace pex::test {
namespace {

using nlohmann::json;

// Drawn as rich text it would be bold and load a local file.
const std::string kMarkup = "<b>粗</b><img src=\"file:///etc/hosts\">";

QString markup() {
    return QString::fromStdString(kMarkup);
}

// Every label under `root` that holds the markup shows it as plain text; answers how many
// labels hold it.
int expectShownLiterally(QWidget* root) {
    int holding = 0;
    QList<QLabel*> labels = root->findChildren<QLabel*>();
    if (auto* self = qobject_cast<QLabel*>(root)) labels.prepend(self);
    for (QLabel* label : labels) {
        if (!label->text().contains(QStringLiteral("<b>"))) continue;
        ++holding;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    }
    return holding;
}

class PlainTextLabelsTest : public PageFixture {};

TEST_F(PlainTextLabelsTest, TheLoginWindowShowsTheCountryAndTheLinesLiterally) {
    service_.addPath("GET", "/meeting-network.json", [this](const standin::Call&) {
        return standin::Reply::ok(json::array(
            {{{"type", 1}, {"name", kMarkup}, {"host", service_.origin()}, {"sort", 1}}}));
    });
    auto* login = new LoginViewController;
    ContentWindow window(login);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    ASSERT_TRUE(settleReplies());
    ASSERT_TRUE(runMainUntil([&] {
        return !login->netChannelV()->deviceButtons().empty() &&
               login->netChannelV()->deviceButtons().front()->title() == markup();
    }));
    CountryListModel country;
    country.country_code = "44";
    country.name_zn = kMarkup;
    login->didSelectCountry(country);
    EXPECT_EQ(login->areaLabel->text(), QStringLiteral("+44 (") + markup() + QStringLiteral(")"));
    EXPECT_EQ(expectShownLiterally(&window), 2);
    settleReplies();
}

TEST_F(PlainTextLabelsTest, PackagesAndRecordsShowTheirTextsLiterally) {
    RechargeCellView package;
    package.rechargeModel = std::make_shared<RechargeModel>();
    package.rechargeModel->intro = kMarkup;
    package.rechargeModel->goods_name = kMarkup;
    package.rechargeModel->label = kMarkup;
    package.rechargeModel->price = kMarkup;
    package.rechargeModel->currency_cn = kMarkup;
    package.configure();
    EXPECT_EQ(expectShownLiterally(&package), 5);

    ConsumeCellMac consumption;
    consumption.model = ConsumeModel{};
    consumption.model->function = kMarkup;
    consumption.configureConsume();
    EXPECT_EQ(expectShownLiterally(&consumption), 1);

    ConsumeCellMac order;
    order.orderModel = OrderModel{};
    order.orderModel->goods_name = kMarkup;
    order.orderModel->pay_money = kMarkup;
    order.configureOrder();
    EXPECT_EQ(expectShownLiterally(&order), 2);
}

TEST_F(PlainTextLabelsTest, TheProfileTheResumeAndTheUpdateNotesShowLiterally) {
    auto* mine = new MineViewController;
    ContentWindow window(mine);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    UserBaseModel user;
    user.phone = kMarkup;
    user.user_code = kMarkup;
    mine->updateUserLabels(user);
    EXPECT_EQ(expectShownLiterally(mine->view()), 2);
    settleReplies();

    user.resume = UserResumeInfo{"id", kMarkup, ""};
    SettingsStore::setRecord(std::optional<UserBaseModel>(user),
                             DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    auto* settings = new AISettingViewController;
    ContentWindow settingsWindow(settings);
    settingsWindow.setAttribute(Qt::WA_DeleteOnClose, false);
    settingsWindow.show();
    ASSERT_TRUE(runMainUntil(
        [&] { return settings->updateResumeView()->updateLabel()->text().contains(markup()); }));
    EXPECT_EQ(expectShownLiterally(settings->updateResumeView()), 1);

    VersionForceAlertView alert;
    alert.model = CheckVersionModel{};
    alert.model->version = "2.0.0";
    alert.model->min_version = "1.0.0";
    alert.model->content = kMarkup;
    alert.configure();
    EXPECT_EQ(expectShownLiterally(&alert), 1);
}

TEST_F(PlainTextLabelsTest, LanguagesAndShortMessagesShowLiterally) {
    auto* setup = new InterviewSettingViewController;
    ContentWindow window(setup);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    settleReplies();
    LanguageListModel language;
    language.name = kMarkup;
    setup->languageSelected(language);
    EXPECT_GE(expectShownLiterally(setup->view()), 1);

    StatusHUD::shared().containerView = &window;
    StatusHUD::showMessage(markup(), StatusHUDMode::text);
    EXPECT_EQ(expectShownLiterally(&window), 2);
    StatusHUD::shared().hide(false);
    StatusHUD::shared().containerView = nullptr;
    settleReplies();
}

}  // namespace
}  // namespace pex::test
