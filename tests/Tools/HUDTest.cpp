// The in-window busy indicator: one panel at a time in the centre of the main window, and a
// delayed hide that takes down only the panel it showed.
#include "Tools/HUD.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMainWindow>

#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

using std::chrono::milliseconds;

class HUDTest : public ::testing::Test {
  protected:
    HUDTest() : keyWindow(&window) {
        content = new QWidget;
        window.setCentralWidget(content);
        window.resize(750, 500);
        window.show();
    }
    ~HUDTest() override {
        HUD::hide();
        settle();
    }

    void advance(Clock::Duration by) {
        clock.clock().advance(by);
        settle();
    }
    static void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::vector<MacStatusHUD*> panels() const {
        const auto found = content->findChildren<MacStatusHUD*>(Qt::FindDirectChildrenOnly);
        return {found.begin(), found.end()};
    }

    ScopedManualClock clock;
    QMainWindow window;
    ScopedKeyWindow keyWindow;
    QWidget* content;
};

TEST_F(HUDTest, ShowPlacesTheSpinnerAndMessageInTheCentre) {
    HUD::show(QStringLiteral("Loading..."));
    MacStatusHUD* panel = HUD::current();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->parentWidget(), content);
    EXPECT_EQ(panel->messageLabel()->text(), QStringLiteral("Loading..."));
    const QRect centred((content->width() - 120) / 2, (content->height() - 80) / 2, 120, 80);
    EXPECT_EQ(panel->geometry(), centred);
    EXPECT_TRUE(panel->indicator()->isAnimating());
    EXPECT_EQ(panel->indicator()->geometry(), QRect(44, 12, 32, 32));
    EXPECT_EQ(panel->messageLabel()->y(), 52);
    const QRect message = panel->messageLabel()->geometry();
    EXPECT_EQ(message.y() + message.height(), 80 - 12);  // the panel's height wins
    EXPECT_NEAR(message.x() + message.width() / 2.0, 60, 0.5);
    // Dark and opaque: nothing beneath runs through the spinner or the message.
    EXPECT_EQ(panel->layerBackgroundColor(), Color::grey(0.4));
    EXPECT_EQ(panel->layerBackgroundColor()->alphaComponent(), 1.0);

    // It stays centred as the window changes size.
    window.resize(900, 600);
    settle();
    EXPECT_EQ(panel->geometry().center(), content->rect().center());
}

TEST_F(HUDTest, ShowTwiceLeavesOnePanelTheSecond) {
    HUD::show(QStringLiteral("Loading..."));
    HUD::show(QStringLiteral("Saving..."));
    settle();
    ASSERT_EQ(panels().size(), 1u);
    EXPECT_EQ(panels().front(), HUD::current());
    EXPECT_EQ(HUD::current()->messageLabel()->text(), QStringLiteral("Saving..."));
}

TEST_F(HUDTest, ShowThenHideRemovesThePanelAfterTheDelayThenRunsTheCompletion) {
    int completions = 0;
    HUD::showThenHide(QStringLiteral("Saving..."), 2, [&] {
        EXPECT_EQ(HUD::current(), nullptr);  // removed first
        ++completions;
    });
    advance(milliseconds(1900));
    EXPECT_NE(HUD::current(), nullptr);
    EXPECT_EQ(completions, 0);
    advance(milliseconds(100));
    EXPECT_EQ(HUD::current(), nullptr);
    EXPECT_TRUE(panels().empty());
    EXPECT_EQ(completions, 1);
}

TEST_F(HUDTest, DelayedHideLeavesANewerPanelUpAndStillRunsItsCompletion) {
    int completions = 0;
    HUD::showThenHide(QStringLiteral("Saving..."), 2, [&] { ++completions; });
    advance(milliseconds(1000));
    HUD::show(QStringLiteral("Loading..."));
    MacStatusHUD* newer = HUD::current();
    advance(milliseconds(1500));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(HUD::current(), newer);
    ASSERT_EQ(panels().size(), 1u);
    EXPECT_EQ(panels().front()->messageLabel()->text(), QStringLiteral("Loading..."));
}

TEST_F(HUDTest, DelayedHideOfAShowWithoutAMainWindowLeavesTheEarlierPanelUp) {
    HUD::show(QStringLiteral("Loading..."));
    MacStatusHUD* earlier = HUD::current();
    ApplicationWindows::setMainWindow(nullptr);
    QApplication::setActiveWindow(nullptr);
    int completions = 0;
    HUD::showThenHide(QStringLiteral("Saving..."), 2, [&] { ++completions; });
    ApplicationWindows::setMainWindow(&window);
    advance(milliseconds(2000));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(HUD::current(), earlier);
    EXPECT_EQ(panels().size(), 1u);
}

TEST_F(HUDTest, HideWithoutAPanelStillRunsTheCompletion) {
    bool ran = false;
    HUD::hide([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(HUD::current(), nullptr);
}

TEST_F(HUDTest, WithoutAMainWindowNothingIsShownAndTheEarlierPanelStays) {
    HUD::show(QStringLiteral("Loading..."));
    MacStatusHUD* earlier = HUD::current();
    ApplicationWindows::setMainWindow(nullptr);
    QApplication::setActiveWindow(nullptr);
    ASSERT_EQ(ApplicationWindows::mainWindow(), nullptr);
    HUD::show(QStringLiteral("Saving..."));
    EXPECT_EQ(HUD::current(), earlier);
    EXPECT_EQ(earlier->messageLabel()->text(), QStringLiteral("Loading..."));
    ApplicationWindows::setMainWindow(&window);
}

// An application without focus (no active window) still shows its HUD and pop-ups on the
// window it keeps, instead of quietly showing nothing.
TEST_F(HUDTest, WithoutFocusThePanelShowsOnTheApplicationsWindow) {
    ApplicationWindows::setMainWindow(nullptr);
    ApplicationWindows::setKeyWindow(nullptr);
    QApplication::setActiveWindow(nullptr);
    ApplicationWindows::setDelegateWindow(&window);
    EXPECT_EQ(ApplicationWindows::keyWindow(), &window);
    HUD::show(QStringLiteral("Loading..."));
    EXPECT_NE(HUD::current(), nullptr);
    EXPECT_EQ(panels().size(), 1u);
    ApplicationWindows::setDelegateWindow(nullptr);
    ApplicationWindows::setMainWindow(&window);
    ApplicationWindows::setKeyWindow(&window);
}

TEST_F(HUDTest, WithoutAContentViewTheEarlierPanelGoesAndNoneIsShown) {
    HUD::show(QStringLiteral("Loading..."));
    QMainWindow bare;  // no central widget
    ApplicationWindows::setMainWindow(&bare);
    HUD::show(QStringLiteral("Saving..."));
    EXPECT_EQ(HUD::current(), nullptr);
    settle();
    EXPECT_TRUE(panels().empty());
    ApplicationWindows::setMainWindow(&window);
}

}  // namespace
}  // namespace pex
