#pragma once
// The application's delegate: start-up, the window it keeps, the "Show Main Window" command
// and what happens when the application is launched again while it runs.
//
// Start-up (applicationDidFinishLaunching), in this order:
//   1. the crash and telemetry client is configured (a failure of any kind is logged in one
//      line and start-up goes on without it);
//   2. the store is asked for the purchases an earlier run left unfinished (the answer comes
//      later, on the main queue);
//   3. the history database is opened;
//   4-6. with "isAutoLogin" on and a non-empty "LOGIN_TOKEN" the main window opens, otherwise
//      the login window; the window is kept;
//   then what start-up found wrong with the stored data (history database, settings file) is
//   told over that window (StartupNotices.h);
//   7. "Show Main Window" (Ctrl+0) is added to the main menu's "Window" submenu.
//
// The kept window is the window lifecycle's (Tools/WindowLifecycle.h): a closed window is
// deleted, and ending the login makes the new login window the kept one. The progress HUD
// shows over the kept window. Main thread only.
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

#include "Tools/ContentWindow.h"
#include "Main/StartupNotices.h"

class QAction;

namespace pex {

class AppDelegate : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kWindowMenuTitle = "Window";
    static constexpr const char* kShowMainWindowTitle = "Show Main Window";

    // The steps of start-up that reach outside the windows; tests replace them.
    struct LaunchSteps {
        std::function<void()> configureTelemetry;
        std::function<void()> completeUnfinishedTransactions;
        std::function<void()> openHistoryDatabase;
        // What to tell the user over the first window (StartupNotices.h).
        std::function<std::vector<StartupNotice>()> findStartupNotices;
        static LaunchSteps standard();
    };

    explicit AppDelegate(LaunchSteps steps = LaunchSteps::standard(), QObject* parent = nullptr);
    ~AppDelegate() override;

    // The application's delegate: the one made last that still exists.
    static AppDelegate* current();
    // The kept window (the window lifecycle's).
    ContentWindow* window() const;

    void applicationDidFinishLaunching();
    void finishLaunching();
    // Follows Qt's application state: each change between active and not active is posted
    // once, as the application's activation notifications.
    void applicationStateChanged(Qt::ApplicationState state);
    // Tells the telemetry client (which has no UI toolkit) that the application came forward.
    void applicationDidBecomeActive();
    // ... and that it went to the background (will and did resign active).
    void applicationDidResignActive();
    void installShowMainWindowMenuItem();
    void showMainWindow();
    // Launched again while running: with windows on screen nothing more happens; otherwise
    // the kept window comes forward, or a new one opens when it was closed. Answers true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // A second launch of the application reached this one: its windows come forward, the
    // running session's or the kept one on top.
    void reopen();
    bool applicationSupportsSecureRestorableState() const { return true; }
    void applicationWillTerminate() {}

    // The menu item, once installed.
    QAction* showMainWindowItem() const { return showMainWindowItem_.data(); }

    static bool hasVisibleWindows();

  private:
    void activateApplication();

    LaunchSteps steps_;
    bool active_ = false;
    QPointer<QAction> showMainWindowItem_;
};

}  // namespace pex
