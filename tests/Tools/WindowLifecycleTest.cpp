// The window lifecycle with plain contents: which windows exist, the session handoff, the quit
// policy in Qt's own event loop, the orderly quit, and sign-out of hidden windows.
#include "Tools/WindowLifecycle.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "Tools/ContentWindow.h"
#include "Tools/MainMenu.h"
#include "platform/appkit/ViewController.h"
#include "platform/foundation/Clock.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using Role = WindowLifecycle::Role;

// A content that says which kind of window it is.
class Labelled : public ViewController {
  public:
    explicit Labelled(QString text) : text_(std::move(text)) {}
    QString text() const { return text_; }

  protected:
    void loadView() override { setView(new QLabel(text_)); }

  private:
    QString text_;
};

QString contentOf(const QWidget* window) {
    const auto* content = qobject_cast<const ContentWindow*>(window);
    const auto* labelled =
        content ? dynamic_cast<const Labelled*>(content->contentViewController()) : nullptr;
    return labelled ? labelled->text() : QString();
}

// A session whose end the test completes by hand.
struct FakeSession {
    QPointer<ContentWindow> window;
    int endsAsked = 0;
    std::function<void()> done;
};

class WindowLifecycleTest : public ::testing::Test {
  protected:
    WindowLifecycleTest() {
        lifecycle_.setContents({[] { return new Labelled(QStringLiteral("login")); },
                                [] { return new Labelled(QStringLiteral("main")); }});
        lifecycle_.setExitHandler([this](int status) { exits_.push_back(status); });
    }
    ~WindowLifecycleTest() override {
        lifecycle_.setExitHandler(nullptr);
        lifecycle_.setContents({});
        // Every window a test opens is one the lifecycle counts.
        qDeleteAll(lifecycle_.windows());
        settle();
    }

    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    void advance(std::chrono::milliseconds by) {
        clock_.clock().advance(by);
        settle();
    }

    FakeSession& openSession() {
        FakeSession& session = sessions_.emplace_back();
        auto* window = new ContentWindow(new Labelled(QStringLiteral("session")));
        session.window = window;
        lifecycle_.beginSession(window, [&session](std::function<void()> done) {
            ++session.endsAsked;
            session.done = std::move(done);
        });
        window->makeKeyAndOrderFront();
        return session;
    }

    static std::vector<QString> visibleContents() {
        std::vector<QString> shown;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && !contentOf(window).isEmpty()) {
                shown.push_back(contentOf(window));
            }
        }
        return shown;
    }

    WindowLifecycle& lifecycle_ = WindowLifecycle::shared();
    ScopedManualClock clock_;
    std::vector<int> exits_;
    std::deque<FakeSession> sessions_;
};

TEST_F(WindowLifecycleTest, TheMainWindowHidesDuringASessionAndComesBackAfterIt) {
    QPointer<ContentWindow> main = lifecycle_.openMainWindow(WindowLifecycle::kMainTitle);
    ASSERT_TRUE(main);
    EXPECT_EQ(lifecycle_.keptWindow(), main.data());
    FakeSession& session = openSession();
    EXPECT_EQ(lifecycle_.sessionWindow(), session.window.data());
    EXPECT_EQ(lifecycle_.roleOf(session.window), Role::session);
    // Hidden, it is still the signed-in main window, and the kept one.
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(lifecycle_.mainWindow(), main.data());
    EXPECT_EQ(lifecycle_.windows(Role::main), QList<QWidget*>{main.data()});

    session.window->close();
    settle();
    ASSERT_TRUE(session.window.isNull());
    EXPECT_FALSE(main->isVisible());
    advance(WindowLifecycle::kMainWindowReturnDelay);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(lifecycle_.sessionWindow(), nullptr);
    EXPECT_EQ(session.endsAsked, 0);  // its own close ends a session, not the lifecycle
}

TEST_F(WindowLifecycleTest, ClosingTheLastVisibleWindowLeavesTheApplicationRunning) {
    WindowLifecycle::installQuitPolicy();
    Clock::setCurrent(nullptr);  // Qt's own loop runs here: real time, a tenth of a second
    QPointer<ContentWindow> main = lifecycle_.openMainWindow();
    FakeSession& session = openSession();
    ASSERT_FALSE(main->isVisible());
    // The session window is the only one on screen when it closes. Had Qt ended the loop for
    // it, exec would answer 0 before the main window is back.
    QTimer::singleShot(0, session.window, [&session] { session.window->close(); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&main] {
        if (main && main->isVisible()) QCoreApplication::exit(42);
    });
    poll.start(5);
    QTimer::singleShot(3000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QApplication::exec(), 42);
    EXPECT_TRUE(main && main->isVisible());
}

TEST_F(WindowLifecycleTest, QuitEndsEverySessionFirstThenExitsWithItsStatus) {
    lifecycle_.openMainWindow();
    FakeSession& first = openSession();
    FakeSession& second = openSession();
    lifecycle_.quit(0);
    lifecycle_.quit(3);  // already ending: nothing more
    EXPECT_TRUE(lifecycle_.isQuitting());
    EXPECT_EQ(first.endsAsked, 1);
    EXPECT_EQ(second.endsAsked, 1);
    first.done();
    settle();
    EXPECT_TRUE(exits_.empty());
    second.done();
    settle();
    EXPECT_EQ(exits_, std::vector<int>{0});
    // A window that closes while quitting brings nothing back.
    first.window->close();
    advance(WindowLifecycle::kMainWindowReturnDelay);
    EXPECT_FALSE(lifecycle_.mainWindow()->isVisible());
    // The wait's bound passes later without a second exit.
    advance(WindowLifecycle::kQuitWait);
    EXPECT_EQ(exits_, std::vector<int>{0});
}

TEST_F(WindowLifecycleTest, QuitAndShowMainWindowKeysWorkFromTheSessionWindow) {
    // With the main window (and its menu bar) hidden, a shortcut works only through a window on
    // screen: the session window carries the menu's commands.
    MainMenu::setCurrent(MainMenu::makeDefault());
    lifecycle_.openMainWindow();
    FakeSession& session = openSession();
    QAction* quit = MainMenu::current()->submenu(QStringLiteral("Pexmora"))->actions().front();
    ASSERT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(session.window->actions().contains(quit));
    quit->trigger();
    EXPECT_EQ(session.endsAsked, 1);
    session.done();
    settle();
    EXPECT_EQ(exits_, std::vector<int>{0});
    MainMenu::setCurrent(nullptr);
}

TEST_F(WindowLifecycleTest, QuitWaitsForASessionThatNeverEndsOnlySoLong) {
    openSession();
    lifecycle_.quit(0);
    advance(WindowLifecycle::kQuitWait - std::chrono::milliseconds(1));
    EXPECT_TRUE(exits_.empty());
    advance(std::chrono::milliseconds(1));
    EXPECT_EQ(exits_, std::vector<int>{0});

    // Without a session the exit follows at once.
    lifecycle_.setExitHandler([this](int status) { exits_.push_back(status); });
    sessions_.front().window->close();
    settle();
    lifecycle_.quit(0);
    EXPECT_EQ(exits_, (std::vector<int>{0, 0}));
}

TEST_F(WindowLifecycleTest, SignOutEndsSessionsAndClosesHiddenWindowsBeforeTheLoginWindowOpens) {
    QPointer<ContentWindow> main = lifecycle_.openMainWindow();
    auto* recordWindow = new ContentWindow(new Labelled(QStringLiteral("record")));
    lifecycle_.track(recordWindow, Role::record);  // tracked, never shown
    QPointer<ContentWindow> record = recordWindow;
    FakeSession& session = openSession();
    ASSERT_FALSE(main->isVisible());
    const std::uint64_t generation = lifecycle_.loginGeneration();

    std::vector<QString> openWhenCleared;
    ContentWindow* login = lifecycle_.endLogin([&] { openWhenCleared = visibleContents(); });
    EXPECT_EQ(session.endsAsked, 1);
    EXPECT_TRUE(openWhenCleared.empty());  // closed before the login was cleared
    settle();
    EXPECT_TRUE(main.isNull());
    EXPECT_TRUE(record.isNull());
    EXPECT_TRUE(session.window.isNull());
    EXPECT_EQ(visibleContents(), std::vector<QString>{QStringLiteral("login")});
    EXPECT_EQ(lifecycle_.keptWindow(), login);
    EXPECT_EQ(lifecycle_.roleOf(login), Role::login);
    EXPECT_EQ(lifecycle_.mainWindow(), nullptr);
    EXPECT_EQ(lifecycle_.loginGeneration(), generation + 1);
    // The session's end answering late brings nothing back.
    session.done();
    advance(WindowLifecycle::kMainWindowReturnDelay);
    EXPECT_EQ(visibleContents(), std::vector<QString>{QStringLiteral("login")});
}

TEST_F(WindowLifecycleTest, AfterALoginTheLoginWindowIsTheMainWindow) {
    ContentWindow* window = lifecycle_.openLoginWindow();
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8(WindowLifecycle::kLoginTitle));
    EXPECT_EQ(lifecycle_.mainWindow(), nullptr);
    lifecycle_.showMainView(window);
    settle();
    EXPECT_EQ(contentOf(window), QStringLiteral("main"));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8(WindowLifecycle::kMainTitle));
    EXPECT_EQ(lifecycle_.mainWindow(), window);
    EXPECT_EQ(lifecycle_.keptWindow(), window);
}

TEST_F(WindowLifecycleTest, BringingForwardPrefersTheRunningSession) {
    EXPECT_FALSE(lifecycle_.bringForward());  // nothing to bring: the caller opens a window
    QPointer<ContentWindow> main = lifecycle_.openMainWindow();
    main->hide();
    EXPECT_TRUE(lifecycle_.bringForward());
    EXPECT_TRUE(main->isVisible());
    FakeSession& session = openSession();
    session.window->showMinimized();
    EXPECT_TRUE(lifecycle_.bringForward());
    EXPECT_TRUE(session.window->isVisible());
    EXPECT_FALSE(session.window->isMinimized());
    EXPECT_FALSE(main->isVisible());
}

TEST_F(WindowLifecycleTest, OnlyOneSessionAtATimeAndAskingBringsItForward) {
    QPointer<ContentWindow> main = lifecycle_.openMainWindow();
    EXPECT_TRUE(lifecycle_.mayStartSession());
    FakeSession& session = openSession();
    // The user brought the main window back and put the session window away.
    main->show();
    session.window->showMinimized();
    EXPECT_FALSE(lifecycle_.mayStartSession());
    EXPECT_TRUE(session.window->isVisible());
    EXPECT_FALSE(session.window->isMinimized());
    EXPECT_EQ(session.endsAsked, 0);  // asking leaves the running session alone
    // Once its window is gone, the next session may start.
    session.window->close();
    settle();
    ASSERT_TRUE(session.window.isNull());
    EXPECT_TRUE(lifecycle_.mayStartSession());
}

}  // namespace
}  // namespace pex
