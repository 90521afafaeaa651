#pragma once
// The one owner of the application's windows and of how the application ends. Pages and the
// login ask here; the shell composes it at start-up (what the login and main windows show).
//
// Windows, by role:
//   login     the sign-in window (510 × 480, "登录")
//   main      the signed-in main window (1000 × 700, "主面板"); it stays the main window while
//             hidden, as it is while a session runs
//   session   the window of a running interview session
//   record    secondary windows (order and consumption records, the captcha page)
//
// The kept window is the one the HUD shows over and "Show Main Window" brings back: the login
// window, or the window it became after the login.
//
// Quit policy: the application ends only on an explicit quit (the menu's "Quit", Ctrl+Q,
// SIGTERM, SIGINT), never because its last visible window closed. Launching it again, or
// "Show Main Window", brings the kept window forward (the session window while one runs).
//
// One session at a time: while a session window is open (its close path included) no other
// session starts; asked to start one, the running session's window comes to the front.
//
// Every way out ends a running session the same way (its SessionEnd: the final usage report,
// recogniser and capture stopped, recording closed, audio route restored):
//   quit       ends every session, waits for them (at most kQuitWait), then leaves the event
//              loop with the status asked for
//   sign-out   ends every session, closes every window (hidden ones too), clears the stored
//              login, opens one login window; the user's own sign-out waits for the sessions'
//              end (endSessions) before it tells the service, so that their final reports still
//              go out with a token the service accepts
//   the session window's close ends its own session (its controller's close path) and shows
//              the main window again, unless the login ended meanwhile.
//
// Main thread only.
#include <QList>
#include <QPointer>
#include <QSize>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "Tools/ContentWindow.h"
#include "service/SettingsStore.h"

class QWidget;

namespace pex {

class ViewController;

class WindowLifecycle {
  public:
    enum class Role { login, main, session, record };

    static constexpr QSize kLoginContentSize{510, 480};
    // The top bar, the 180-wide sidebar and the 750 × 500 page need that much.
    static constexpr QSize kMainContentSize{1000, 700};
    static constexpr const char* kLoginTitle = "登录";
    static constexpr const char* kMainTitle = "主面板";
    // How long a quit waits for the running sessions to end before it leaves anyway: a
    // session's own end waits at most 2 s for the final report, and stopping the capture
    // takes a moment more.
    static constexpr std::chrono::milliseconds kQuitWait{3000};
    // The session window gone, the main window comes back this much later.
    static constexpr std::chrono::milliseconds kMainWindowReturnDelay{100};

    // What the login and the main window show: made fresh for each window.
    struct Contents {
        std::function<ViewController*()> login;
        std::function<ViewController*()> main;
    };
    // Ends one running session in order and then runs `done` on the main thread (once).
    using SessionEnd = std::function<void(std::function<void()> done)>;

    static WindowLifecycle& shared();

    // The shell installs the contents once, before any window opens.
    void setContents(Contents contents);

    // A new login window, centred, key and in front; it becomes the kept window.
    ContentWindow* openLoginWindow();
    // A new main window titled `title`, centred, key and in front; it becomes the kept window.
    ContentWindow* openMainWindow(const QString& title = QString());
    // After a login: `window` (the login window) shows a new main view, 1000 × 700, titled
    // "主面板", kept on the screen around its old centre, and is the main window from now on.
    // The login controller goes once the current event is done.
    void showMainView(ContentWindow* window);
    // Sets size, centre and title; then key and front.
    static void present(ContentWindow* window, QSize contentSize, const QString& title);

    // Counts `window` among the application's windows in `role` until it is destroyed.
    void track(QWidget* window, Role role);
    std::optional<Role> roleOf(const QWidget* window) const;
    // The windows of `role` (every role when none) that still exist, hidden ones included.
    QList<QWidget*> windows(std::optional<Role> role = std::nullopt) const;

    ContentWindow* keptWindow() const { return kept_.data(); }
    void keepWindow(ContentWindow* window);
    // The signed-in main window, shown or hidden; none while nobody is signed in.
    QWidget* mainWindow() const;

    // A session window opened: it is tracked, `end` is how quit and sign-out end its session,
    // and the main window (if any) hides until the session window is gone.
    void beginSession(ContentWindow* sessionWindow, SessionEnd end);
    QWidget* sessionWindow() const;
    // Whether a new session may start: only while no session window is open. When one is, it
    // comes to the front instead, and the answer is false.
    bool mayStartSession();
    // Ends every running session; `done` runs on the main thread once all have ended, or once
    // kQuitWait is over, whichever comes first; at once (in this call) without any session.
    void endSessions(std::function<void()> done);

    // No quit because the last visible window closed. Called once the application exists.
    static void installQuitPolicy();
    // An explicit quit: ends the running sessions, then leaves the event loop with `status`.
    // Further requests while it ends are ignored.
    void quit(int status = 0);
    bool isQuitting() const { return quitting_; }
    // Tests: what quit calls at the end instead of QCoreApplication::exit.
    void setExitHandler(std::function<void(int status)> exit);

    // Launched again, or "Show Main Window": the running session's window, else the kept
    // window, comes forward. False when there is no window to bring (the caller opens one).
    bool bringForward();

    // Sign-out, an account log-off and an expired login all end here: the HUDs go, every
    // session ends (its final report still carries the token), every window closes, hidden
    // ones included, `clearStoredLogin` runs, and one new login window opens (answered).
    ContentWindow* endLogin(const std::function<void()>& clearStoredLogin);
    // The user's sign-out or log-off: endLogin, removing "LOGIN_TOKEN" and "userInfo" (and
    // "isAutoLogin" when asked).
    ContentWindow* signOut(SettingsStore::AutoLogin autoLogin);
    // Counts the ends of a login; a session window that closes after one does not bring a
    // main window back.
    std::uint64_t loginGeneration() const { return loginGeneration_; }

  private:
    struct Tracked {
        QPointer<QWidget> window;
        Role role;
    };
    struct Session {
        QPointer<QWidget> window;
        SessionEnd end;
        std::uint64_t loginGeneration = 0;  // the login it was opened in
    };

    WindowLifecycle() = default;
    ContentWindow* makeWindow(const std::function<ViewController*()>& content);
    void sessionWindowGone(QWidget* window);
    void prune();

    Contents contents_;
    QList<Tracked> tracked_;
    QList<Session> sessions_;
    QPointer<ContentWindow> kept_;
    std::function<void(int)> exit_;
    bool quitting_ = false;
    std::uint64_t loginGeneration_ = 0;
};

}  // namespace pex
