#include "Main/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <exception>
#include <string>

#include "Tools/MainMenu.h"
#include "Tools/WindowLifecycle.h"
#include "Main/StartupNotices.h"
#include "beacon-core/BCNApp.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "purchase/UnfinishedTransactionHandler.h"
#include "service/ConsoleLog.h"
#include "service/GRDBDataManager.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

QPointer<AppDelegate>& currentSlot() {
    static QPointer<AppDelegate> delegate;
    return delegate;
}

// The telemetry client must never keep the application from starting.
void configureTelemetrySafely(const std::function<void()>& configure) {
    if (!configure) return;
    try {
        configure();
    } catch (const std::exception& error) {
        consoleLog(std::string("遥测配置失败，继续启动: ") + error.what());
    } catch (...) {
        consoleLog("遥测配置失败，继续启动: 未知错误");
    }
}

void openWindowFor(bool signedIn) {
    WindowLifecycle& windows = WindowLifecycle::shared();
    if (signedIn) {
        windows.openMainWindow();
    } else {
        windows.openLoginWindow();
    }
}

}  // namespace

AppDelegate::LaunchSteps AppDelegate::LaunchSteps::standard() {
    return {[] { BCNApp::configure(); },
            [] { UnfinishedTransactionHandler::completeTransactionsAtLaunch(); },
            [] { GRDBDataManager::shared(); }, [] { return StartupNotices::current(); }};
}

AppDelegate::AppDelegate(LaunchSteps steps, QObject* parent)
    : QObject(parent), steps_(std::move(steps)) {
    assertMainThread("AppDelegate");
    currentSlot() = this;
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            &AppDelegate::applicationStateChanged);
}

AppDelegate::~AppDelegate() = default;

AppDelegate* AppDelegate::current() {
    return currentSlot().data();
}

ContentWindow* AppDelegate::window() const {
    return WindowLifecycle::shared().keptWindow();
}

void AppDelegate::applicationDidFinishLaunching() {
    finishLaunching();
}

void AppDelegate::finishLaunching() {
    assertMainThread("AppDelegate::finishLaunching");
    configureTelemetrySafely(steps_.configureTelemetry);
    if (steps_.completeUnfinishedTransactions) steps_.completeUnfinishedTransactions();
    if (steps_.openHistoryDatabase) steps_.openHistoryDatabase();

    const bool autoLogin = SettingsStore::boolean(SettingsKeys::isAutoLogin);
    const auto token = SettingsStore::string(SettingsKeys::loginToken);
    const bool signedIn = autoLogin && token && !token->empty();
    openWindowFor(signedIn);
    if (steps_.findStartupNotices) StartupNotices::show(window(), steps_.findStartupNotices());

    installShowMainWindowMenuItem();
}

void AppDelegate::applicationStateChanged(Qt::ApplicationState state) {
    const bool active = state == Qt::ApplicationActive;
    if (active == active_) return;  // hidden after inactive is still the same absence
    active_ = active;
    if (active) {
        applicationDidBecomeActive();
    } else {
        applicationDidResignActive();
    }
}

void AppDelegate::applicationDidBecomeActive() {
    postApplicationActiveChange(true);
}

void AppDelegate::applicationDidResignActive() {
    postApplicationActiveChange(false);
}

void AppDelegate::installShowMainWindowMenuItem() {
    MainMenu* menu = MainMenu::current();
    if (!menu) return;
    QMenu* windowMenu = menu->submenu(QString::fromLatin1(kWindowMenuTitle));
    if (!windowMenu) return;
    windowMenu->addSeparator();
    QAction* item = windowMenu->addAction(QString::fromLatin1(kShowMainWindowTitle));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    // Works from every window of the application, as a main-menu command does.
    item->setShortcutContext(Qt::ApplicationShortcut);
    connect(item, &QAction::triggered, this, [this] { showMainWindow(); });
    showMainWindowItem_ = item;
}

void AppDelegate::showMainWindow() {
    if (ContentWindow* kept = window()) {
        kept->makeKeyAndOrderFront();
    } else {
        // The window that fits the stored login: a main window without a token would only
        // find out from the service's 401 that the user has to sign in.
        const auto token = SettingsStore::string(SettingsKeys::loginToken);
        const bool signedIn = token && !token->empty();
        openWindowFor(signedIn);
    }
    activateApplication();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows) return true;
    // Closing the last window does not end the application: reopened, it shows a window again.
    if (!WindowLifecycle::shared().bringForward()) showMainWindow();
    return true;
}

void AppDelegate::reopen() {
    const bool visible = hasVisibleWindows();
    // What the desktop does when a running application is started again: it comes forward.
    if (visible && !WindowLifecycle::shared().bringForward()) activateApplication();
    applicationShouldHandleReopen(visible);
}

bool AppDelegate::hasVisibleWindows() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->isVisible() && !widget->isMinimized() &&
            widget->windowType() != Qt::Popup && widget->windowType() != Qt::ToolTip) {
            return true;
        }
    }
    return false;
}

void AppDelegate::activateApplication() {
    ContentWindow* kept = window();
    if (kept && kept->isVisible()) {
        kept->makeKeyAndOrderFront();  // minimised, it is restored
    } else if (QWidget* active = QApplication::activeWindow()) {
        active->raise();
    }
}

}  // namespace pex
