// The main window's content: the top bar, the sidebar and the page container in their places,
// the split view's answers, the page cache and the top bar's user-type request.
#include "Main/ViewController.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSplitter>

#include "Main/AppDelegate.h"
#include "Main/ContentContainerViewController.h"
#include "Main/HomeLeftCustomView.h"
#include "Main/HomeLeftView.h"
#include "Main/SidebarViewController.h"
#include "Main/TopBarView.h"
#include "Main/WindowFactory.h"
#include "Page/AIInterviewPages/AISettingViewController.h"
#include "Page/AIInterviewPages/InterviewSettingViewController.h"
#include "Page/About/AboutMeViewController.h"
#include "Page/ActivitiesViewController.h"
#include "Page/Purchase/PurchaseViewController.h"
#include "Page/ScholarCardViewController.h"
#include "Page/ToolsViewController.h"
#include "Page/View/InterviewTypeView.h"
#include "ShellFixture.h"
#include "Tools/NotificationNames.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/WindowLifecycle.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using standin::Fault;

class MainWindowTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        signIn(true);
    }

    ContentWindow* openMain() {
        window_ = WindowLifecycle::shared().openMainWindow(QStringLiteral("主面板"));
        settle();
        return window_;
    }
    shell::ViewController* main() {
        return qobject_cast<shell::ViewController*>(window_->contentViewController());
    }
    ContentContainerViewController* container() { return main()->container(); }

    // The pages whose views are on screen.
    int visiblePages() {
        int shown = 0;
        for (const auto& [tag, page] : container()->viewControllers()) {
            if (page->view()->isVisible()) ++shown;
        }
        return shown;
    }

    QPointer<ContentWindow> window_;
};

TEST_F(MainWindowTest, TheBarSidebarAndPageAreLaidOutWithoutOverlapping) {
    openMain();
    ASSERT_NE(main(), nullptr);
    const QWidget* content = window_->contentView();
    EXPECT_EQ(window_->contentSize(), QSize(1000, 700));

    const QRect bar = main()->topBar()->geometry();
    EXPECT_EQ(bar, QRect(0, 0, 1000, 50));
    // The logo: 36 × 36, 16 from the left, its corners cut round.
    const ImageView* logo = main()->topBar()->iconImageView();
    EXPECT_EQ(logo->geometry(), QRect(16, 7, 36, 36));
    EXPECT_TRUE(logo->mask().isEmpty());  // rounded by drawing, with smooth edges
    EXPECT_DOUBLE_EQ(logo->cornerRadius(), 6);
    const QRect sidebar(main()->sidebar()->view()->mapTo(content, QPoint(0, 0)),
                        main()->sidebar()->view()->size());
    EXPECT_EQ(sidebar, QRect(0, 50, 180, 650));
    const QRect page(container()->view()->mapTo(content, QPoint(0, 0)),
                     container()->view()->size());
    EXPECT_EQ(page.size(), QSize(750, 500));
    EXPECT_FALSE(page.intersects(sidebar));
    EXPECT_FALSE(page.intersects(bar));
    EXPECT_TRUE(content->rect().contains(page));
    // The split view: no divider drawn, the sidebar pane at 180 and never collapsing.
    QSplitter* split = main()->splitView();
    EXPECT_EQ(split->handleWidth(), 0);
    EXPECT_EQ(split->sizes().front(), 180);
    EXPECT_FALSE(split->isCollapsible(0));
    EXPECT_FALSE(split->isCollapsible(1));
    EXPECT_TRUE(main()->shouldHideDivider(0));
    EXPECT_FALSE(main()->canCollapseSubview(main()->sidebar()->view()));
    EXPECT_EQ(main()->constrainSplitPosition(213.5, 0), 213.5);
}

TEST_F(MainWindowTest, TheFirstPageIsTheInterviewSetupAndEachTagHasItsPageClass) {
    openMain();
    EXPECT_TRUE(qobject_cast<InterviewSettingViewController*>(container()->currentVC()));
    EXPECT_EQ(container()->viewControllers().size(), 1u);

    struct Expected {
        int tag;
        const char* className;
    };
    const Expected pages[] = {
        {1, "pex::MineViewController"},     {3, "pex::AISettingViewController"},
        {4, "pex::PurchaseViewController"}, {5, "pex::AboutMeViewController"},
        {2, "pex::ViewController"},         {6, "pex::ViewController"},
        {9, "pex::ViewController"}};
    for (const Expected& expected : pages) {
        container()->showPage(expected.tag);
        EXPECT_STREQ(container()->currentVC()->metaObject()->className(), expected.className)
            << expected.tag;
        EXPECT_EQ(visiblePages(), 1) << expected.tag;
    }
    // The setup page is a page of its own, not a placeholder with a title.
    container()->showPage(0);
    EXPECT_EQ(container()->currentVC()->view()->findChild<QLabel*>("pageTitle"), nullptr);
}

TEST_F(MainWindowTest, PagesAreMadeOnceAndKeptHidden) {
    openMain();
    container()->showPage(1);
    QPointer<ViewController> account = container()->currentVC();
    container()->showPage(0);
    EXPECT_FALSE(account->view()->isVisible());
    EXPECT_EQ(account->view()->parentWidget(), container()->view());  // hidden, not removed
    container()->showPage(1);
    EXPECT_EQ(container()->currentVC(), account.data());
    container()->showPage(1);  // the page already shown: nothing is made
    EXPECT_EQ(container()->currentVC(), account.data());
    EXPECT_EQ(container()->viewControllers().size(), 2u);
    EXPECT_EQ(visiblePages(), 1);
    EXPECT_TRUE(account->view()->isVisible());
    EXPECT_EQ(account->parent(), container());
}

TEST_F(MainWindowTest, SidebarAndNotificationsDriveTheContainer) {
    openMain();
    HomeLeftView* menu = main()->sidebar()->leftView();
    test::click(menu->settingBtn());
    EXPECT_TRUE(qobject_cast<AISettingViewController*>(container()->currentVC()));
    NotificationCenter::defaultCenter().post(NotificationNames::purchase, nullptr,
                                             {{"message", "去充值"}});
    EXPECT_TRUE(qobject_cast<PurchaseViewController*>(container()->currentVC()));
    EXPECT_EQ(menu->selectIndex, 4);
    NotificationCenter::defaultCenter().post(NotificationNames::aiSetting, nullptr,
                                             {{"message", "打开设置"}});
    EXPECT_TRUE(qobject_cast<AISettingViewController*>(container()->currentVC()));
    EXPECT_EQ(container()->viewControllers().size(), 3u);
}

// After a login the window grows into the main window around its centre and stays on the
// screen, wherever the login window stood.
TEST_F(MainWindowTest, TheWindowThatBecomesTheMainWindowStaysOnTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint nearBottomRight = area.bottomRight() - QPoint(520, 520);
    for (const std::optional<QPoint> moveTo :
         {std::optional<QPoint>(), std::optional(nearBottomRight), std::optional(area.topLeft())}) {
        SCOPED_TRACE(moveTo ? "moved" : "centred");
        QPointer<ContentWindow> window = WindowLifecycle::shared().openLoginWindow();
        if (moveTo) window->move(*moveTo);
        settle();
        const QPoint loginCentre = window->frameGeometry().center();

        WindowLifecycle::shared().showMainView(window);
        settle();
        const QRect frame = window->frameGeometry();
        ASSERT_GE(frame.height(), 700);
        // Inside the area in each direction where it fits; else from the area's start.
        if (frame.width() <= area.width()) {
            EXPECT_GE(frame.left(), area.left());
            EXPECT_LE(frame.right(), area.right());
        } else {
            EXPECT_EQ(frame.left(), area.left());
        }
        if (frame.height() <= area.height()) {
            EXPECT_GE(frame.top(), area.top());
            EXPECT_LE(frame.bottom(), area.bottom());
        } else {
            EXPECT_EQ(frame.top(), area.top());
        }
        // A centred login window stays centred where the bigger window has room.
        if (!moveTo && frame.height() <= area.height()) {
            EXPECT_LE(std::abs(frame.center().y() - loginCentre.y()), 1);
        }
        delete window.data();
    }
}

TEST_F(MainWindowTest, EachMainViewSendsExactlyOnePutForUserType4) {
    const std::string token = SettingsStore::string(SettingsKeys::loginToken).value();
    QPointer<TopBarView> bar;
    {
        shell::ViewController controller;  // the request goes out before any view exists
        bar = controller.topBar();
        EXPECT_FALSE(controller.isViewLoaded());
        ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 1));
    }
    test::runMainUntil([] { return false; }, std::chrono::milliseconds(100));
    const auto sent = service_.requests("/user/change_user_type/*");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "PUT");
    EXPECT_EQ(sent[0].route, "/user/change_user_type/4");
    EXPECT_TRUE(sent[0].body.empty());
    EXPECT_EQ(sent[0].header("Authorization").value_or(""), "Bearer " + token);
    EXPECT_EQ(service_.state().account(kPhone)->type, 4);
    EXPECT_TRUE(bar.isNull());  // the reply found the bar gone and left it alone
}

TEST_F(MainWindowTest, TheHiddenModeButtonOpensTheChooserAndAChoiceSendsType4Again) {
    openMain();
    ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 1));
    TopBarView* bar = main()->topBar();
    EXPECT_FALSE(bar->modeSwithButton()->isVisible());
    EXPECT_EQ(bar->modeSwithButton()->text(), QStringLiteral("面试助攻"));

    ScopedKeyWindow key(window_);
    bar->modeSwithButtonClicked();
    InterviewTypeView* chooser = bar->interviewTypeView();
    ASSERT_NE(chooser->parentWidget(), nullptr);
    EXPECT_EQ(chooser->size(), QSize(400, 430));
    EXPECT_TRUE(chooser->isVisible());

    QPointer<InterviewTypeView> shown = chooser;
    chooser->tile(2)->handleClick();
    chooser->sureTap();  // whatever was chosen, the bar sends 4
    ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 2));
    EXPECT_EQ(service_.requests("/user/change_user_type/*")[1].route, "/user/change_user_type/4");
    // The pop-up closes and hands the card back to the bar, which keeps it between shows.
    ASSERT_TRUE(test::runMainUntil([&] {
        settle();
        return shown && shown->parentWidget() == nullptr;
    }));
    EXPECT_TRUE(shown->isHidden());

    // The same card, with its choice: confirming at once sends type 4 again.
    bar->modeSwithButtonClicked();
    EXPECT_EQ(bar->interviewTypeView(), shown.data());
    EXPECT_TRUE(shown->isVisible());
    bar->interviewTypeView()->sureTap();
    EXPECT_TRUE(waitForRequests("/user/change_user_type/*", 3));
}

TEST_F(MainWindowTest, AChoiceAfterTheBarIsGoneSendsNothing) {
    auto* bar = new TopBarView;
    ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 1));
    bar->showTypeChooser();  // no key window: the card is not shown, the handler is set
    auto handler = bar->interviewTypeView()->selectInterviewBlock;
    delete bar;
    ASSERT_TRUE(handler);
    handler(1);
    test::runMainUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(service_.requests("/user/change_user_type/*").size(), 1u);
}

// The bar's title is put back only by a successful reply: the title is changed while the
// request is out, so a failed reply that touched it would show.
TEST_F(MainWindowTest, AFailedTypeReplyLeavesTheBarAsItWas) {
    for (const bool fails : {true, false}) {
        SCOPED_TRACE(fails ? "failed reply" : "successful reply");
        Fault fault = fails ? Fault::serviceError(1, "用户类型无效")
                            : Fault::httpStatus(200, R"({"code":0,"message":"ok"})");
        fault.delay = std::chrono::milliseconds(300);
        service_.setFault("/user/change_user_type/*", fault);
        alerts_->messages.clear();
        openMain();
        main()->topBar()->modeSwithButton()->setText(QStringLiteral("切换中"));
        ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 1));
        if (fails) {
            ASSERT_TRUE(test::runMainUntil([&] { return !alerts_->messages.empty(); }));
            EXPECT_EQ(main()->topBar()->modeSwithButton()->text(), QStringLiteral("切换中"));
        } else {
            EXPECT_TRUE(test::runMainUntil([&] {
                return main()->topBar()->modeSwithButton()->text() == QStringLiteral("面试助攻");
            }));
        }
        EXPECT_FALSE(main()->topBar()->modeSwithButton()->isVisible());
        EXPECT_EQ(visibleWindows().size(), 1u);
        closeEverything();
        service_.clearRequests();
    }
}

// Below its minimum the window does not shrink: the sidebar, the bar and the page never overlap.
TEST_F(MainWindowTest, TheWindowKeepsAMinimumAtWhichNothingOverlaps) {
    openMain();
    window_->resize(700, 450);
    settle();
    QWidget* sidebar = main()->sidebar()->view();
    QWidget* pages = container()->view();
    QWidget* bar = main()->topBar();
    const auto global = [](QWidget* view) {
        return QRect(view->mapToGlobal(QPoint(0, 0)), view->size());
    };
    EXPECT_GE(window_->contentSize().width(),
              shell::ViewController::kSidebarWidth + shell::ViewController::kPageWidth);
    EXPECT_FALSE(global(sidebar).intersects(global(pages)));
    EXPECT_FALSE(global(bar).intersects(global(pages)));
    EXPECT_FALSE(global(bar).intersects(global(sidebar)));
    EXPECT_TRUE(global(window_->contentView()).contains(global(pages)));
}

TEST(PlaceholderPagesTest, EachHasItsPlainBackground) {
    ActivitiesViewController activities;
    ToolsViewController tools;
    ScholarCardViewController scholar;
    const std::pair<ViewController*, QColor> pages[] = {{&activities, QColor(170, 170, 170)},
                                                        {&tools, Qt::white},
                                                        {&scholar, QColor(128, 128, 128)}};
    for (const auto& [page, colour] : pages) {
        QWidget* view = page->view();
        EXPECT_TRUE(view->autoFillBackground());
        EXPECT_EQ(view->palette().color(QPalette::Window).rgb(), colour.rgb())
            << page->metaObject()->className();
    }
}

}  // namespace
}  // namespace pex
