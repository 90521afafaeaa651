#pragma once
// The one place that answers "which window": the window the application delegate keeps (the
// progress HUD shows itself over its content), the key window (the one taking keyboard input)
// and the main window. Views and pages ask here, never Qt directly, so that tests can pin the
// answers on the offscreen platform, where no window is ever active.
#include <QPointer>
#include <QWidget>

namespace pex {

class ApplicationWindows {
  public:
    // The window the application delegate keeps; none until the application sets one.
    static QWidget* delegateWindow();
    static void setDelegateWindow(QWidget* window);

    // The pinned key window, else Qt's active window, else (the application is not focused)
    // the delegate's window.
    static QWidget* keyWindow();
    // The pinned main window, else the active window when it is a plain window (not a dialog,
    // tool or pop-up), else that window's parent window, else the delegate's window.
    static QWidget* mainWindow();

    // Pins (or, with nullptr, releases) the answers of keyWindow and mainWindow. For tests.
    static void setKeyWindow(QWidget* window);
    static void setMainWindow(QWidget* window);

    // The view that holds a window's content: a main window's central widget, otherwise the
    // window itself. Nothing for nothing.
    static QWidget* contentView(QWidget* window);
};

// Pins the key and main window for one scope and releases them afterwards.
class ScopedKeyWindow {
  public:
    explicit ScopedKeyWindow(QWidget* window);
    ~ScopedKeyWindow();
    ScopedKeyWindow(const ScopedKeyWindow&) = delete;
    ScopedKeyWindow& operator=(const ScopedKeyWindow&) = delete;
};

}  // namespace pex
