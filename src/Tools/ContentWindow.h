#pragma once
// A top-level window whose content is a view controller's view, as the application's windows
// are made: the window owns its content view controller and is deleted, with its controller and
// view, when it is closed. The application's main window (login or main view) also shows the
// current main menu in its own menu bar (MainMenu.h); secondary windows (captcha, records, a
// session) do not, but every window takes the menu's shortcuts (Ctrl+Q, Ctrl+0).
//
//     auto* window = new ContentWindow(new SomePage);
//     window->setContentSize({510, 480});
//     window->center();
//     window->setWindowTitle("登录");
//     window->makeKeyAndOrderFront();
//
// The content size is the size of the controller's view, without frame and menu bar.
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QSize>

#include "platform/appkit/ViewController.h"

namespace pex {

class ContentWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Takes `controller` (and its view) over.
    explicit ContentWindow(ViewController* controller);
    ~ContentWindow() override;

    ViewController* contentViewController() const { return controller_.data(); }
    // Shows `controller`'s view in place of the current one and takes it over. The old
    // controller and its view are deleted once control returns to the event loop, so the old
    // controller may call this from its own code.
    void setContentViewController(ViewController* controller);

    // Puts the current main menu into this window's menu bar (once; nothing without a menu).
    void showMainMenu();

    // The view that holds the content (the controller's view fills it).
    QWidget* contentView() const;
    // As laid out: the size set takes effect once the window is shown.
    QSize contentSize() const;
    void setContentSize(QSize size);

    // Centres the window on its screen.
    void center();
    // Centres the window's frame on `point`, then moves it as little as needed to lie within
    // the available area of the screen there; a frame larger than that area keeps its top-left
    // corner inside it, so the title bar stays reachable.
    void centerOn(QPoint point);
    // Shows the window, raises it above the application's other windows and gives it the
    // keyboard.
    void makeKeyAndOrderFront();

    // The ContentWindow that shows `view`, if any.
    static ContentWindow* windowOf(const QWidget* view);

  private:
    void placeContent();

    QPointer<ViewController> controller_;
};

}  // namespace pex
