#pragma once
// Window levels in the design's terms: a normal window (0) or one floating above the other
// windows (3). On Linux a floating window asks the window manager to keep it on top, which X11
// window managers honour. Main thread only.
#include <QWidget>

namespace pex {

enum class WindowLevel { normal = 0, floating = 3 };

WindowLevel windowLevel(const QWidget* window);
// Changing the level of a window on screen shows it again at once (Qt takes a window off the
// screen to change its flags).
void setWindowLevel(QWidget* window, WindowLevel level);

}  // namespace pex
