#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"

#include <QPalette>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Tools/ContentWindow.h"
#include "Tools/WindowLifecycle.h"
#include "platform/appkit/TransparentTitleBar.h"
#include "platform/appkit/WindowLevel.h"

namespace pex {

ContentWindow* AIInterviewDetailWindow::open(AIInterviewDetailController* controller) {
    auto* window = new ContentWindow(controller);
    // Not opaque: the window's own surface is clear, and the content draws the dark colour at
    // alpha 0.7 over it.
    window->setAttribute(Qt::WA_TranslucentBackground);
    QWidget* content = window->contentView();
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, kBackground);
    content->setPalette(palette);
    content->setAutoFillBackground(true);
    // A transparent title bar: the title and the window's controls over the same dark colour.
    TransparentTitleBar::install(window, kBackground);
    window->setContentSize(kContentSize);
    window->center();
    window->setWindowTitle(QString::fromUtf8(kTitle));
    setWindowLevel(window, WindowLevel::floating);
    const QPointer<AIInterviewDetailController> weak(controller);
    WindowLifecycle::shared().beginSession(window, [weak](std::function<void()> done) {
        if (weak) {
            weak->endSession(std::move(done));
        } else if (done) {
            done();
        }
    });
    window->makeKeyAndOrderFront();
    return window;
}

}  // namespace pex
