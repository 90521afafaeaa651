#include "platform/appkit/ApplicationWindows.h"

#include <QApplication>
#include <QMainWindow>

#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

// Main thread only, like every window.
QPointer<QWidget>& delegateSlot() {
    static QPointer<QWidget> window;
    return window;
}

QPointer<QWidget>& keySlot() {
    static QPointer<QWidget> window;
    return window;
}

QPointer<QWidget>& mainSlot() {
    static QPointer<QWidget> window;
    return window;
}

// Not focused (common on Linux desktops), the application still has a window on screen: what
// would go on the key or main window goes there instead of nowhere.
QWidget* visibleDelegateWindow() {
    QWidget* window = delegateSlot().data();
    return window && window->isVisible() ? window : nullptr;
}

bool isPlainWindow(const QWidget* window) {
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Widget;
}

}  // namespace

QWidget* ApplicationWindows::delegateWindow() {
    assertMainThread("ApplicationWindows::delegateWindow");
    return delegateSlot().data();
}

void ApplicationWindows::setDelegateWindow(QWidget* window) {
    assertMainThread("ApplicationWindows::setDelegateWindow");
    delegateSlot() = window;
}

QWidget* ApplicationWindows::keyWindow() {
    assertMainThread("ApplicationWindows::keyWindow");
    if (keySlot()) return keySlot().data();
    if (QWidget* active = QApplication::activeWindow()) return active;
    return visibleDelegateWindow();
}

QWidget* ApplicationWindows::mainWindow() {
    assertMainThread("ApplicationWindows::mainWindow");
    if (mainSlot()) return mainSlot().data();
    QWidget* active = QApplication::activeWindow();
    while (active && !isPlainWindow(active)) {
        QWidget* parent = active->parentWidget();
        active = parent ? parent->window() : nullptr;
    }
    return active ? active : visibleDelegateWindow();
}

void ApplicationWindows::setKeyWindow(QWidget* window) {
    assertMainThread("ApplicationWindows::setKeyWindow");
    keySlot() = window;
}

void ApplicationWindows::setMainWindow(QWidget* window) {
    assertMainThread("ApplicationWindows::setMainWindow");
    mainSlot() = window;
}

QWidget* ApplicationWindows::contentView(QWidget* window) {
    if (!window) return nullptr;
    if (auto* main = qobject_cast<QMainWindow*>(window)) return main->centralWidget();
    return window;
}

ScopedKeyWindow::ScopedKeyWindow(QWidget* window) {
    ApplicationWindows::setKeyWindow(window);
    ApplicationWindows::setMainWindow(window);
}

ScopedKeyWindow::~ScopedKeyWindow() {
    ApplicationWindows::setKeyWindow(nullptr);
    ApplicationWindows::setMainWindow(nullptr);
}

}  // namespace pex
