// The tip presenter and its two tips: one success tip reused for every message, laid over the
// page and taken away by its button; the recharge tip's close mark, dimmed area and card; and
// clicks that never reach the page underneath.
#include "Tools/TipAlertView.h"

#include <gtest/gtest.h>

#include "Tools/AppImages.h"
#include "support/ClickCountingView.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using test::click;

using Page = test::ClickCountingView;

class TipAlertViewTest : public ::testing::Test {
  protected:
    TipAlertViewTest() {
        window.resize(600, 400);
        page = new Page;
        page->setParent(&window);
        page->setGeometry(0, 0, 600, 400);
        button = new QWidget(page);  // the export button the page passes
        button->setGeometry(10, 10, 80, 30);
        window.show();
    }
    ~TipAlertViewTest() override {
        // The presenter lives on; take its tips off this test's window.
        TipAlertView::shared().sureTip();
        TipAlertView::shared().sureTip1();
    }

    std::vector<CustomSuccessTipView*> successTipsIn(QWidget* host) const {
        const auto found = host->findChildren<CustomSuccessTipView*>(Qt::FindDirectChildrenOnly);
        return {found.begin(), found.end()};
    }

    QWidget window;
    Page* page;
    QWidget* button;
};

TEST_F(TipAlertViewTest, SecondMessageReusesTheOneTipView) {
    TipAlertView& presenter = TipAlertView::shared();
    presenter.show(button, QStringLiteral("导出成功，地址已复制，粘贴即可查看"),
                   QStringLiteral("确定"));
    CustomSuccessTipView* tip = presenter.suceessView();
    presenter.show(button, QStringLiteral("导出失败"), QStringLiteral("知道了"));
    ASSERT_EQ(successTipsIn(page), (std::vector<CustomSuccessTipView*>{tip}));
    EXPECT_EQ(presenter.suceessView(), tip);
    EXPECT_EQ(tip->tipLab()->text(), QStringLiteral("导出失败"));
    EXPECT_EQ(tip->sureBtn()->titleLab()->text(), QStringLiteral("知道了"));
    EXPECT_TRUE(tip->isVisible());
}

TEST_F(TipAlertViewTest, TipCoversTheHostWithTheCardInTheCentre) {
    TipAlertView::shared().show(button, QStringLiteral("保存成功"), QStringLiteral("确定"));
    CustomSuccessTipView* tip = TipAlertView::shared().suceessView();
    EXPECT_EQ(tip->parentWidget(), page);
    EXPECT_EQ(tip->geometry(), page->rect());
    EXPECT_EQ(tip->bgView()->geometry(), QRect(150, 100, 300, 200));
    EXPECT_EQ(tip->bgImg()->geometry(), QRect(120, 40, 60, 60));
    EXPECT_EQ(tip->sureBtn()->geometry(), QRect(40, 140, 220, 40));
    EXPECT_EQ(tip->tipLab()->y(), 105);
    EXPECT_EQ(tip->tipLab()->geometry().center().x(), 149);
    EXPECT_FALSE(tip->sureBtn()->iconImg()->isVisible());

    // Pinned to the host's edges.
    page->resize(700, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(tip->geometry(), page->rect());
    EXPECT_EQ(tip->bgView()->geometry(), QRect(200, 150, 300, 200));
}

TEST_F(TipAlertViewTest, ViewWithoutSuperviewGetsTheTipOverItself) {
    QWidget lone;
    lone.resize(320, 240);
    lone.show();
    TipAlertView::shared().show(&lone, QStringLiteral("保存成功"), QStringLiteral("确定"));
    EXPECT_EQ(TipAlertView::shared().suceessView()->parentWidget(), &lone);
    EXPECT_EQ(TipAlertView::shared().suceessView()->geometry(), lone.rect());
}

TEST_F(TipAlertViewTest, ButtonTakesTheTipAwayOnceOtherClicksLeaveItAndNeverReachThePage) {
    TipAlertView& presenter = TipAlertView::shared();
    presenter.show(button, QStringLiteral("保存成功"), QStringLiteral("确定"));
    CustomSuccessTipView* tip = presenter.suceessView();

    test::clickAt(page, QPoint(5, 390));   // the dimmed area
    click(tip->bgView(), QPoint(10, 10));  // the card
    click(tip->tipLab());
    EXPECT_EQ(tip->parentWidget(), page);
    EXPECT_EQ(page->clicks, 0);

    click(tip->sureBtn());
    EXPECT_EQ(tip->parentWidget(), nullptr);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(page->clicks, 0);

    // Shown again, the same view comes back.
    presenter.show(button, QStringLiteral("保存成功"), QStringLiteral("确定"));
    EXPECT_EQ(presenter.suceessView(), tip);
    EXPECT_EQ(tip->parentWidget(), page);
}

TEST_F(TipAlertViewTest, TipTakenDownWithItsHostIsBuiltAgain) {
    auto* host = new QWidget(&window);
    auto* inner = new QWidget(host);
    TipAlertView::shared().show(inner, QStringLiteral("保存成功"), QStringLiteral("确定"));
    QPointer<CustomSuccessTipView> first = TipAlertView::shared().suceessView();
    delete host;
    EXPECT_FALSE(first);
    TipAlertView::shared().show(button, QStringLiteral("再次"), QStringLiteral("确定"));
    CustomSuccessTipView* second = TipAlertView::shared().suceessView();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->tipLab()->text(), QStringLiteral("再次"));
    click(second->sureBtn());
    EXPECT_EQ(second->parentWidget(), nullptr);
}

TEST_F(TipAlertViewTest, RechargeTipClosesFromTheMarkAndTheDimmedAreaButNotFromTheCard) {
    HomeTipNoView* tip = TipAlertView::shared().tipView();
    EXPECT_EQ(tip->tipLab()->text(), QStringLiteral("请充值后使用该功能"));
    struct Case {
        const char* where;
        std::function<void()> click;
        bool closes;
    };
    const Case cases[] = {
        {"card", [&] { click(tip->bgView(), QPoint(60, 200)); }, false},
        {"message", [&] { click(tip->tipLab()); }, false},
        {"close mark", [&] { click(tip->closeImg()); }, true},
        {"dimmed area", [&] { test::clickAt(page, QPoint(5, 5)); }, true},
        {"button", [&] { click(tip->sureBtn()); }, true},
    };
    for (const Case& c : cases) {
        tip->setParent(page);
        tip->setGeometry(page->rect());
        tip->show();
        c.click();
        EXPECT_EQ(tip->parentWidget() == nullptr, c.closes) << c.where;
        EXPECT_EQ(page->clicks, 0) << c.where;
    }
}

TEST_F(TipAlertViewTest, RechargeTipMadeElsewhereIgnoresItsButton) {
    auto* tip = new HomeTipNoView(page);
    tip->setGeometry(page->rect());
    tip->show();
    EXPECT_EQ(tip->tipLab()->text(), QStringLiteral("您的余额不足，请充值"));
    EXPECT_EQ(tip->bgView()->geometry(), QRect(101, 72, 397, 255));
    EXPECT_EQ(tip->closeImg()->geometry(), QRect(367, 20, 20, 20));
    // Centred horizontally, its centre 40 above the card's.
    EXPECT_EQ(tip->iconImg()->geometry(), QRect(178, 127 - 40 - 20, 40, 40));
    EXPECT_EQ(tip->sureBtn()->size(), QSize(268, 40));
    EXPECT_EQ(tip->sureBtn()->y(), tip->tipLab()->geometry().bottom() + 1 + 40);
    click(tip->sureBtn());
    EXPECT_EQ(tip->parentWidget(), page);
    EXPECT_EQ(page->clicks, 0);
}

}  // namespace
}  // namespace pex
