// The about page: the installed version, the hidden check button, and the version check
// against the stand-in service.
#include <memory>

#include <gtest/gtest.h>

#include "Page/About/AboutMeViewController.h"
#include "Page/About/VersionOrder.h"
#include "PageFixture.h"
#include "platform/appkit/Alert.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using standin::Call;
using standin::Fault;
using standin::Reply;

Bundle bundleWithVersion(const std::string& version) {
    return Bundle(nlohmann::json{{"CFBundleShortVersionString", version}});
}

class AboutMeViewControllerTest : public PageFixture {
  protected:
    AboutMeViewControllerTest() {
        Alert::setModalHandlerForTesting([this](const Alert& alert) {
            alerts.push_back(alert.messageText.toStdString());
            EXPECT_EQ(alert.buttons(), QStringList{QStringLiteral("确定")});
            EXPECT_EQ(alert.alertStyle, Alert::Style::warning);
            return Alert::firstButtonReturn;
        });
        page_.setBundle(bundleWithVersion("2.1.0"));
        window_.resize(800, 600);
        page_.view()->setParent(&window_);
        page_.view()->setGeometry(window_.rect());
    }
    ~AboutMeViewControllerTest() override { Alert::setModalHandlerForTesting(nullptr); }

    void answerVersion(nlohmann::json data) {
        service_.addApiPath("GET", "/operation/version",
                            [data](const Call&) { return Reply::ok(data); });
    }
    void check() {
        page_.checkForUpdates();
        ASSERT_TRUE(settleReplies());
    }
    bool updateAlertShown() {
        VersionForceAlertView* alert = page_.tipView();
        return alert->parent() == page_.view() && alert->isVisibleTo(page_.view());
    }

    std::vector<std::string> alerts;
    QWidget window_;
    AboutMeViewController page_;
};

TEST_F(AboutMeViewControllerTest, ShowsTheInstalledVersionEachTimeItAppears) {
    EXPECT_EQ(page_.versionLabel()->text(), QStringLiteral("V1.0.0"));
    window_.show();
    EXPECT_EQ(page_.versionLabel()->text(), QStringLiteral("当前版本：2.1.0"));

    page_.setBundle(bundleWithVersion("2.2.0"));
    page_.view()->hide();
    page_.view()->show();
    EXPECT_EQ(page_.versionLabel()->text(), QStringLiteral("当前版本：2.2.0"));
}

TEST_F(AboutMeViewControllerTest, ABundleWithoutVersionKeepsThePlaceholder) {
    page_.setBundle(Bundle());
    window_.show();
    EXPECT_EQ(page_.versionLabel()->text(), QStringLiteral("V1.0.0"));
}

TEST_F(AboutMeViewControllerTest, TheCheckButtonIsHiddenAndStartsNothing) {
    window_.show();
    CustomButton* button = page_.sureBtn();
    EXPECT_EQ(button->titleLab()->text(), QStringLiteral("检查最新版本"));
    EXPECT_FALSE(button->isVisible());
    clickAt(&window_, button->mapTo(&window_, button->rect().center()));
    EXPECT_EQ(sentRequests(), 0);
    EXPECT_TRUE(service_.requests("/operation/version").empty());
}

TEST_F(AboutMeViewControllerTest, TheReplysVersionIsComparedWithTheInstalledOne) {
    struct Case {
        const char* name;
        nlohmann::json data;
        bool latest;  // "当前已经是最新版本"
        bool update;  // the update alert
    };
    const std::vector<Case> cases = {
        {"same as installed", {{"version", "2.1.0"}, {"min_version", "2.1.0"}}, true, false},
        {"same as installed, lower minimum",
         {{"version", "2.1.0"}, {"min_version", "2.0.0"}},
         true,
         false},
        {"newer, equal minimum", {{"version", "2.2.0"}, {"min_version", "2.2.0"}}, false, true},
        {"newer by number, not by text",
         {{"version", "2.10.0"}, {"min_version", "2.0.0"}},
         false,
         true},
        {"older than installed", {{"version", "2.0.9"}, {"min_version", "2.0.0"}}, true, false},
        {"version without minimum", {{"version", "3.0.0"}}, false, false},
        {"minimum without version", {{"min_version", "3.0.0"}}, false, false},
        {"data null", nullptr, false, false},
        {"data a text", "3.0.0", false, false},
    };
    window_.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        alerts.clear();
        page_.tipView()->didTap1();
        answerVersion(c.data);
        check();
        EXPECT_EQ(alerts, c.latest ? std::vector<std::string>{"当前已经是最新版本"}
                                   : std::vector<std::string>{});
        EXPECT_EQ(updateAlertShown(), c.update);
    }
    EXPECT_EQ(console_.linesStartingWith("检查更新"), static_cast<int>(cases.size()));
}

TEST_F(AboutMeViewControllerTest, TheUpdateAlertCoversThePageAndIsReused) {
    window_.show();
    answerVersion({{"version", "3.0.0"}, {"min_version", "2.0.0"}, {"content", "新功能"}});
    check();
    VersionForceAlertView* alert = page_.tipView();
    ASSERT_TRUE(updateAlertShown());
    EXPECT_EQ(alert->geometry(), page_.view()->rect());
    EXPECT_EQ(alert->tipLab()->text(), QStringLiteral("新功能"));

    alert->didTap1();
    answerVersion({{"version", "3.1.0"}, {"min_version", "3.1.0"}, {"content", "再次更新"}});
    check();
    EXPECT_EQ(page_.tipView(), alert);
    EXPECT_TRUE(updateAlertShown());
    EXPECT_EQ(alert->tipLab()->text(), QStringLiteral("再次更新"));
}

TEST_F(AboutMeViewControllerTest, AFailedCheckShowsOnlyTheClientsAlert) {
    window_.show();
    service_.setFault("/operation/version", Fault::serviceError(1, "服务繁忙"));
    check();
    EXPECT_TRUE(runMainUntil([&] { return !alerts_->messages.empty(); }));
    EXPECT_EQ(alerts_->messages, std::vector<std::string>{"服务繁忙"});
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(updateAlertShown());
}

TEST(VersionOrderTest, ComparesPartByPart) {
    struct Case {
        const char* left;
        const char* right;
        std::strong_ordering order;
    };
    const Case cases[] = {
        {"1.0.0", "1.0.0", std::strong_ordering::equal},
        {"1.0", "1.0.0", std::strong_ordering::equal},
        {"V1.2.3", "1.2.3", std::strong_ordering::equal},
        {" 1.2.3 ", "1.2.3", std::strong_ordering::equal},
        {"1.2.10", "1.2.9", std::strong_ordering::greater},
        {"1.02", "1.1", std::strong_ordering::greater},
        {"2.0", "10.0", std::strong_ordering::less},
        {"", "0.0.1", std::strong_ordering::less},
        {"99999999999999999999999.1", "99999999999999999999999.0", std::strong_ordering::greater},
        {"1.0.0-beta", "1.0.0", std::strong_ordering::greater},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " vs " + c.right);
        EXPECT_TRUE(compareVersions(c.left, c.right) == c.order);
    }
}

}  // namespace
}  // namespace pex::test
