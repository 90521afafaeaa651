#include "Main/SignOut.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>

#include "Login/LoginViewController.h"
#include "Main/AppDelegate.h"
#include "Main/ContentWindow.h"
#include "Main/WindowFactory.h"
#include "Tools/HUD.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

bool isUserWindow(const QWidget* widget) {
    if (!widget->isWindow() || qobject_cast<const QMenu*>(widget)) return false;
    const Qt::WindowType type = widget->windowType();
    return type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop;
}

// Closing every window would end the application on the way; the new login window follows at
// once.
class QuitOnLastWindowClosedPause {
  public:
    QuitOnLastWindowClosedPause() : previous_(QGuiApplication::quitOnLastWindowClosed()) {
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }
    ~QuitOnLastWindowClosedPause() { QGuiApplication::setQuitOnLastWindowClosed(previous_); }
    QuitOnLastWindowClosedPause(const QuitOnLastWindowClosedPause&) = delete;
    QuitOnLastWindowClosedPause& operator=(const QuitOnLastWindowClosedPause&) = delete;

  private:
    bool previous_;
};

}  // namespace

ContentWindow* SignOut::endLogin(SettingsStore::AutoLogin autoLogin) {
    assertMainThread("SignOut::endLogin");
    QuitOnLastWindowClosedPause pause;
    closeWindows();
    SettingsStore::clearLogin(autoLogin);
    return presentLoginWindow();
}

void SignOut::closeWindows() {
    if (!StatusHUD::shared().isHidden()) StatusHUD::shared().hide(false);
    HUD::hide();
    QuitOnLastWindowClosedPause pause;
    // The list is taken first: closing a window may open or delete others.
    QList<QPointer<QWidget>> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (isUserWindow(widget) && widget->isVisible()) windows.append(widget);
    }
    for (const QPointer<QWidget>& window : windows) {
        if (window) window->close();
    }
}

ContentWindow* SignOut::presentLoginWindow() {
    ContentWindow* window = WindowFactory::openLoginWindow();
    AppDelegate::keepWindow(window);
    return window;
}

void SessionExpiryWindows::presentLogin(const std::function<void()>& clearStoredLogin) {
    QuitOnLastWindowClosedPause pause;
    SignOut::closeWindows();
    clearStoredLogin();
    loginWindow_ = SignOut::presentLoginWindow();
}

bool SessionExpiryWindows::isLoginPresented() const {
    return loginWindow_ && loginWindow_->isVisible() &&
           qobject_cast<LoginViewController*>(loginWindow_->contentViewController());
}

}  // namespace pex
