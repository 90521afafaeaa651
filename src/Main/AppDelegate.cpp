#include "Main/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <exception>
#include <string>

#include "Main/MainMenu.h"
#include "Main/ViewController.h"
#include "Main/WindowFactory.h"
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

}  // namespace

AppDelegate::LaunchSteps AppDelegate::LaunchSteps::standard() {
    return {[] { BCNApp::configure(); },
            [] { UnfinishedTransactionHandler::completeTransactionsAtLaunch(); },
            [] { GRDBDataManager::shared(); }};
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

void AppDelegate::keepWindow(ContentWindow* window) {
    if (AppDelegate* delegate = current()) {
        delegate->setWindow(window);
    } else {
        ApplicationWindows::setDelegateWindow(window);
    }
}

void AppDelegate::setWindow(ContentWindow* window) {
    window_ = window;
    ApplicationWindows::setDelegateWindow(window);
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
    setWindow(signedIn ? WindowFactory::openMainWindow() : WindowFactory::openLoginWindow());

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
    NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
}

void AppDelegate::applicationDidResignActive() {
    NotificationCenter& centre = NotificationCenter::defaultCenter();
    centre.post(kApplicationWillResignActiveNotification);
    centre.post(kApplicationDidResignActiveNotification);
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
        setWindow(signedIn ? WindowFactory::openMainWindow() : WindowFactory::openLoginWindow());
    }
    activateApplication();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows) return true;
    if (ContentWindow* kept = window()) kept->makeKeyAndOrderFront();
    return true;
}

void AppDelegate::reopen() {
    const bool visible = hasVisibleWindows();
    // What the desktop does when a running application is started again: it comes forward.
    if (visible) activateApplication();
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
