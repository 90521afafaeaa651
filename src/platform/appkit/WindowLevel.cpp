#include "platform/appkit/WindowLevel.h"

namespace pex {

WindowLevel windowLevel(const QWidget* window) {
    return window && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint)
               ? WindowLevel::floating
               : WindowLevel::normal;
}

void setWindowLevel(QWidget* window, WindowLevel level) {
    if (!window || windowLevel(window) == level) return;
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, level == WindowLevel::floating);
    if (wasVisible) window->show();
}

}  // namespace pex
