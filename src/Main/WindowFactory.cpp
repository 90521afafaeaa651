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
    // The bigger window grows around the login window's centre and stays on the screen:
    // growing from its corner would push the sidebar's bottom item off a small screen.
    const QPoint centre = window->frameGeometry().center();
    window->setContentViewController(new shell::ViewController);
    window->setContentSize(kMainContentSize);
    window->setWindowTitle(QString::fromUtf8(kMainTitle));
    window->centerOn(centre);
}

void WindowFactory::present(ContentWindow* window, QSize contentSize, const QString& title) {
    window->showMainMenu();
    window->setContentSize(contentSize);
    window->center();
    window->setWindowTitle(title);
    window->makeKeyAndOrderFront();
}

}  // namespace pex
