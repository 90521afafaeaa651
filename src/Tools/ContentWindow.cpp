#include "Tools/ContentWindow.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include "Tools/MainMenu.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

ContentWindow::ContentWindow(ViewController* controller) {
    assertMainThread("ContentWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* holder = new QWidget(this);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(holder);
    setContentViewController(controller);
    if (MainMenu* menu = MainMenu::current()) addActions(menu->shortcutActions());
}

void ContentWindow::showMainMenu() {
    MainMenu* menu = MainMenu::current();
    if (!menu || menuWidget()) return;
    const QSize content = contentSize();
    auto* bar = new QMenuBar(this);
    menu->fill(bar);
    setMenuBar(bar);
    if (!content.isEmpty()) setContentSize(content);
}

ContentWindow::~ContentWindow() {
    // The controller goes first, while its views still exist: nothing of it (event filters,
    // guarded pointers) then sees its views half torn down.
    delete controller_.data();
}

void ContentWindow::setContentViewController(ViewController* controller) {
    if (controller == controller_.data()) return;
    if (ViewController* old = controller_.data()) {
        // The old content may be the caller: it goes once the current event is done.
        if (QWidget* oldView = old->viewIfLoaded()) {
            oldView->hide();
            contentView()->layout()->removeWidget(oldView);
            oldView->setParent(nullptr);
        }
        old->setParent(nullptr);
        old->deleteLater();  // takes its unparented view with it
    }
    controller_ = controller;
    if (!controller) return;
    controller->setParent(this);
    placeContent();
}

void ContentWindow::placeContent() {
    QWidget* view = controller_->view();
    contentView()->layout()->addWidget(view);
    view->show();
}

QWidget* ContentWindow::contentView() const {
    return centralWidget();
}

QSize ContentWindow::contentSize() const {
    return contentView()->size();
}

void ContentWindow::setContentSize(QSize size) {
    const int barHeight = menuWidget() ? menuWidget()->sizeHint().height() : 0;
    resize(size.width(), size.height() + barHeight);
}

void ContentWindow::center() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    centerOn(screen->availableGeometry().center());
}

void ContentWindow::centerOn(QPoint point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(point);
    if (frame.right() > area.right()) frame.moveRight(area.right());
    if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
    if (frame.left() < area.left()) frame.moveLeft(area.left());
    if (frame.top() < area.top()) frame.moveTop(area.top());
    move(frame.topLeft());
}

void ContentWindow::makeKeyAndOrderFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

ContentWindow* ContentWindow::windowOf(const QWidget* view) {
    return view ? qobject_cast<ContentWindow*>(view->window()) : nullptr;
}

}  // namespace pex
