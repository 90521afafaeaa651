#include "Main/WindowFactory.h"

#include "Login/LoginViewController.h"
#include "Main/ContentWindow.h"
#include "Main/ViewController.h"

namespace pex {

ContentWindow* WindowFactory::openLoginWindow() {
    auto* window = new ContentWindow(new LoginViewController);
    present(window, kLoginContentSize, QString::fromUtf8(kLoginTitle));
    return window;
}

ContentWindow* WindowFactory::openMainWindow(const QString& title) {
    auto* window = new ContentWindow(new shell::ViewController);
    present(window, kMainContentSize, title);
    return window;
}

void WindowFactory::showMainView(ContentWindow* window) {
    if (!window) return;
    window->setContentViewController(new shell::ViewController);
    window->setContentSize(kMainContentSize);
    window->setWindowTitle(QString::fromUtf8(kMainTitle));
}

void WindowFactory::present(ContentWindow* window, QSize contentSize, const QString& title) {
    window->setContentSize(contentSize);
    window->center();
    window->setWindowTitle(title);
    window->makeKeyAndOrderFront();
}

}  // namespace pex
