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
    return QApplication::activeWindow();
}

QWidget* ApplicationWindows::mainWindow() {
    assertMainThread("ApplicationWindows::mainWindow");
    if (mainSlot()) return mainSlot().data();
    QWidget* active = QApplication::activeWindow();
    while (active && !isPlainWindow(active)) {
        QWidget* parent = active->parentWidget();
        active = parent ? parent->window() : nullptr;
    }
    return active;
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
