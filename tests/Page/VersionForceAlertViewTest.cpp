// The update alert: what it shows, and every way out of it.
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "Page/About/VersionForceAlertView.h"
#include "Tools/AppImages.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

// A page that counts the clicks that reach it.
using Page = ClickCountingView;

CheckVersionModel model(std::optional<std::string> version, std::optional<std::string> minVersion,
                        std::optional<std::string> content = "1. 修复了已知问题") {
    CheckVersionModel m;
    m.version = std::move(version);
    m.min_version = std::move(minVersion);
    m.content = std::move(content);
    return m;
}

class VersionForceAlertViewTest : public IsolatedTest {
  protected:
    VersionForceAlertViewTest() {
        page_.resize(800, 600);
        alert_ = new VersionForceAlertView(&page_);
        alert_->setGeometry(page_.rect());
        page_.show();
    }
    // A point of the backdrop outside the card.
    static QPoint backdrop() { return {10, 10}; }
    bool shown() const { return alert_->parent() == &page_ && alert_->isVisible(); }

    Page page_;
    VersionForceAlertView* alert_;
};

TEST_F(VersionForceAlertViewTest, BeforeConfigureShowsTheDefaultTextAndIcon) {
    EXPECT_EQ(alert_->tip1Lab()->text(), QStringLiteral("发现新版本"));
    EXPECT_EQ(alert_->tipLab()->text(), QStringLiteral("当前已是最新版本，暂无更新"));
    EXPECT_EQ(alert_->iconName(), QStringLiteral("tishi_l"));
    EXPECT_EQ(alert_->sureBtn()->titleLab()->text(), QStringLiteral("去更新"));
    EXPECT_EQ(alert_->bgView()->size(), QSize(397, 255));
    // Without a model configure changes nothing.
    alert_->configure();
    EXPECT_EQ(alert_->iconName(), QStringLiteral("tishi_l"));
}

TEST_F(VersionForceAlertViewTest, ConfigureShowsTheReleaseTextAndTheSecondIcon) {
    alert_->model = model("2.1.0", "2.0.0");
    alert_->configure();
    EXPECT_EQ(alert_->tipLab()->text(), QStringLiteral("1. 修复了已知问题"));
    EXPECT_EQ(alert_->iconName(), QStringLiteral("tishi_r"));

    alert_->model = model("2.1.0", "2.0.0", std::nullopt);
    alert_->configure();
    EXPECT_EQ(alert_->tipLab()->text(), QString());
}

TEST_F(VersionForceAlertViewTest, WithDifferentVersionsEveryWayOutRemovesTheAlert) {
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"backdrop", [&] { clickAt(&page_, backdrop()); }},
        {"close icon", [&] { click(alert_->closeImg()); }},
        {"去更新", [&] { click(alert_->sureBtn()); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        alert_->setParent(&page_);
        alert_->setGeometry(page_.rect());
        alert_->show();
        alert_->model = model("2.1.0", "2.0.0");
        alert_->configure();
        ASSERT_TRUE(shown());
        way();
        EXPECT_FALSE(shown());
        EXPECT_EQ(alert_->parent(), nullptr);
        // The model stays for the next showing.
        EXPECT_TRUE(alert_->model.has_value());
    }
    EXPECT_EQ(page_.clicks, 0);
    delete alert_;
}

TEST_F(VersionForceAlertViewTest, WithEqualVersionsTheBackdropDoesNotClose) {
    alert_->model = model("2.1.0", "2.1.0");
    alert_->configure();
    clickAt(&page_, backdrop());
    EXPECT_TRUE(shown());
    click(alert_->closeImg());
    EXPECT_FALSE(shown());
    delete alert_;
}

TEST_F(VersionForceAlertViewTest, AClickOnTheCardDoesNothingAndStaysOffThePage) {
    alert_->model = model("2.1.0", "2.0.0");
    alert_->configure();
    QWidget* card = alert_->bgView();
    click(card, QPoint(30, card->height() - 10));
    EXPECT_TRUE(shown());
    EXPECT_EQ(page_.clicks, 0);
}

}  // namespace
}  // namespace pex::test
