#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"

#include <QPalette>

#include "Main/ContentWindow.h"
#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "platform/appkit/WindowLevel.h"

namespace pex {

ContentWindow* AIInterviewDetailWindow::open(AIInterviewDetailController* controller,
                                             QWidget* mainWindow) {
    controller->mainWindow = mainWindow;
    auto* window = new ContentWindow(controller);
    // Not opaque: the window's own surface is clear, and the content draws the dark colour at
    // alpha 0.7 over it.
    window->setAttribute(Qt::WA_TranslucentBackground);
    QWidget* content = window->contentView();
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, kBackground);
    content->setPalette(palette);
    content->setAutoFillBackground(true);
    window->setContentSize(kContentSize);
    window->center();
    window->setWindowTitle(QString::fromUtf8(kTitle));
    setWindowLevel(window, WindowLevel::floating);
    window->makeKeyAndOrderFront();
    return window;
}

}  // namespace pex
