#include "Tools/WindowLifecycle.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <memory>

#include "Tools/ContentWindow.h"
#include "Tools/HUD.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

bool isUserWindow(const QWidget* widget) {
    if (!widget->isWindow() || qobject_cast<const QMenu*>(widget)) return false;
    const Qt::WindowType type = widget->windowType();
    return type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop;
}

void bringToFront(QWidget* window) {
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

WindowLifecycle& WindowLifecycle::shared() {
    assertMainThread("WindowLifecycle::shared");
    static WindowLifecycle lifecycle;
    return lifecycle;
}

void WindowLifecycle::setContents(Contents contents) {
    contents_ = std::move(contents);
}

ContentWindow* WindowLifecycle::makeWindow(const std::function<ViewController*()>& content) {
    if (!content) {
        consoleLog("窗口内容未安装，无法打开窗口");
        return nullptr;
    }
    return new ContentWindow(content());
}

ContentWindow* WindowLifecycle::openLoginWindow() {
    ContentWindow* window = makeWindow(contents_.login);
    if (!window) return nullptr;
    track(window, Role::login);
    present(window, kLoginContentSize, QString::fromUtf8(kLoginTitle));
    keepWindow(window);
    return window;
}

ContentWindow* WindowLifecycle::openMainWindow(const QString& title) {
    ContentWindow* window = makeWindow(contents_.main);
    if (!window) return nullptr;
    track(window, Role::main);
    present(window, kMainContentSize, title);
    keepWindow(window);
    return window;
}

void WindowLifecycle::showMainView(ContentWindow* window) {
    if (!window || !contents_.main) return;
    // The bigger window grows around the login window's centre and stays on the screen:
    // growing from its corner would push the sidebar's bottom item off a small screen.
    const QPoint centre = window->frameGeometry().center();
    window->setContentViewController(contents_.main());
    window->setContentSize(kMainContentSize);
    window->setWindowTitle(QString::fromUtf8(kMainTitle));
    window->centerOn(centre);
    track(window, Role::main);
    keepWindow(window);
}

void WindowLifecycle::present(ContentWindow* window, QSize contentSize, const QString& title) {
    window->showMainMenu();
    window->setContentSize(contentSize);
    window->center();
    window->setWindowTitle(title);
    window->makeKeyAndOrderFront();
}

void WindowLifecycle::track(QWidget* window, Role role) {
    if (!window) return;
    prune();
    for (Tracked& entry : tracked_) {
        if (entry.window == window) {
            entry.role = role;
            return;
        }
    }
    tracked_.append({window, role});
}

std::optional<WindowLifecycle::Role> WindowLifecycle::roleOf(const QWidget* window) const {
    for (const Tracked& entry : tracked_) {
        if (entry.window && entry.window.data() == window) return entry.role;
    }
    return std::nullopt;
}

QList<QWidget*> WindowLifecycle::windows(std::optional<Role> role) const {
    QList<QWidget*> found;
    for (const Tracked& entry : tracked_) {
        if (entry.window && (!role || entry.role == *role)) found.append(entry.window.data());
    }
    return found;
}

void WindowLifecycle::prune() {
    tracked_.removeIf([](const Tracked& entry) { return entry.window.isNull(); });
    sessions_.removeIf([](const Session& session) { return session.window.isNull(); });
}

void WindowLifecycle::keepWindow(ContentWindow* window) {
    kept_ = window;
    ApplicationWindows::setDelegateWindow(window);
}

QWidget* WindowLifecycle::mainWindow() const {
    const QList<QWidget*> found = windows(Role::main);
    return found.isEmpty() ? nullptr : found.first();
}

void WindowLifecycle::beginSession(ContentWindow* sessionWindow, SessionEnd end) {
    if (!sessionWindow) return;
    track(sessionWindow, Role::session);
    sessions_.append({sessionWindow, std::move(end), loginGeneration_});
    QObject::connect(sessionWindow, &QObject::destroyed, sessionWindow,
                     [this, sessionWindow] { sessionWindowGone(sessionWindow); });
    if (QWidget* main = mainWindow(); main && main != sessionWindow) main->hide();
}

QWidget* WindowLifecycle::sessionWindow() const {
    for (const Session& session : sessions_) {
        if (session.window) return session.window.data();
    }
    return nullptr;
}

bool WindowLifecycle::mayStartSession() {
    QWidget* session = sessionWindow();
    if (!session) return true;
    consoleLog("⚠️ 已有面试进行中，不再开始新的面试");
    bringToFront(session);
    return false;
}

void WindowLifecycle::sessionWindowGone(QWidget* window) {
    std::optional<std::uint64_t> generation;
    sessions_.removeIf([window, &generation](const Session& session) {
        // By now its guarded pointer may read null already.
        if (session.window.data() != window && !session.window.isNull()) return false;
        generation = session.loginGeneration;
        return true;
    });
    // The login the session belonged to must still be there, now and when the delay is over:
    // after a sign-out the login window stays alone on screen.
    if (quitting_ || sessionWindow() || generation != loginGeneration_) return;
    DispatchQueue::main().asyncAfter(kMainWindowReturnDelay, [generation] {
        WindowLifecycle& lifecycle = WindowLifecycle::shared();
        if (lifecycle.quitting_ || lifecycle.loginGeneration_ != *generation ||
            lifecycle.sessionWindow()) {
            return;
        }
        if (QWidget* main = lifecycle.mainWindow()) bringToFront(main);
    });
}

void WindowLifecycle::endSessions(std::function<void()> done) {
    prune();
    struct Join {
        int remaining = 0;
        std::function<void()> done;
        void settle() {
            if (done) std::exchange(done, nullptr)();
        }
    };
    auto join = std::make_shared<Join>();
    join->done = std::move(done);
    QList<SessionEnd> ends;
    for (const Session& session : sessions_) {
        if (session.end) ends.append(session.end);
    }
    join->remaining = static_cast<int>(ends.size());
    if (ends.isEmpty()) return join->settle();
    // A session whose end never reports back keeps nobody waiting for long.
    DispatchQueue::main().asyncAfter(kQuitWait, [join] {
        if (join->done) consoleLog("会话未能按时结束，继续退出");
        join->settle();
    });
    for (const SessionEnd& end : ends) {
        end([join] {
            if (--join->remaining == 0) join->settle();
        });
    }
}

void WindowLifecycle::installQuitPolicy() {
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void WindowLifecycle::quit(int status) {
    if (quitting_) return;
    quitting_ = true;
    consoleLog("退出应用");
    endSessions([this, status] {
        if (exit_) {
            exit_(status);
        } else {
            QCoreApplication::exit(status);
        }
    });
}

void WindowLifecycle::setExitHandler(std::function<void(int)> exit) {
    exit_ = std::move(exit);
    quitting_ = false;
}

bool WindowLifecycle::bringForward() {
    if (QWidget* session = sessionWindow()) {
        bringToFront(session);
        return true;
    }
    if (ContentWindow* kept = keptWindow()) {
        bringToFront(kept);
        return true;
    }
    return false;
}

ContentWindow* WindowLifecycle::endLogin(const std::function<void()>& clearStoredLogin) {
    assertMainThread("WindowLifecycle::endLogin");
    ++loginGeneration_;
    if (!StatusHUD::shared().isHidden()) StatusHUD::shared().hide(false);
    HUD::hide();
    // The final reports go out now, while the token is still stored; their replies are not
    // waited for, as the application goes on.
    endSessions(nullptr);
    // The list is taken first: closing a window may open or delete others. Hidden windows (the
    // main window during a session) go as well as the ones on screen.
    prune();
    QList<QPointer<QWidget>> closing;
    for (const Tracked& entry : tracked_) closing.append(entry.window);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (isUserWindow(widget) && widget->isVisible() && !closing.contains(widget)) {
            closing.append(widget);
        }
    }
    for (const QPointer<QWidget>& window : closing) {
        if (window) window->close();
    }
    // A closed window that stays (one not deleted on close) belongs to the ended login no more.
    tracked_.clear();
    kept_ = nullptr;
    if (clearStoredLogin) clearStoredLogin();
    return openLoginWindow();
}

ContentWindow* WindowLifecycle::signOut(SettingsStore::AutoLogin autoLogin) {
    return endLogin([autoLogin] { SettingsStore::clearLogin(autoLogin); });
}

}  // namespace pex
