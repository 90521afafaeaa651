#pragma once
// The application's main menu: its top-level items, each usually with a submenu. Linux keeps
// menus in the windows, so the application's main window shows the current main menu in its
// own menu bar. The items and their submenus are shared by all those bars: an item added to a
// submenu later appears in every window at once. Main thread only.
#include <QList>
#include <QString>
#include <memory>

class QAction;
class QMenu;
class QMenuBar;

namespace pex {

class MainMenu {
  public:
    // The menu windows show; none until the application loads one (or a test sets one).
    static MainMenu* current();
    static void setCurrent(std::shared_ptr<MainMenu> menu);

    // The application's own menu: "Pexmora" with "Quit" (Ctrl+Q), then "Window" with an empty
    // submenu, to which start-up adds its command.
    static std::shared_ptr<MainMenu> makeDefault();

    MainMenu();
    ~MainMenu();
    MainMenu(const MainMenu&) = delete;
    MainMenu& operator=(const MainMenu&) = delete;

    // Appends a top-level item; with `withSubmenu` it gets a new, empty submenu (answered).
    QMenu* addItem(const QString& title, bool withSubmenu = true);
    QList<QAction*> items() const;
    // The first item titled `title`; none when there is no such item.
    QAction* item(const QString& title) const;
    // That item's submenu; none without the item or when it has no submenu.
    QMenu* submenu(const QString& title) const;

    // Puts the items into `bar`, after what it holds.
    void fill(QMenuBar* bar) const;
    // The commands in the submenus that have a shortcut (Quit, Show Main Window). A window
    // without the menu bar takes them, so that their keys work from it too: a shortcut only
    // works through a widget on screen, and the main window is hidden during a session.
    QList<QAction*> shortcutActions() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pex
