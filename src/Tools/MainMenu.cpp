#include "Tools/MainMenu.h"

#include <QAccessible>
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <vector>

#include "Tools/WindowLifecycle.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

std::shared_ptr<MainMenu>& currentSlot() {
    static std::shared_ptr<MainMenu> menu;
    return menu;
}

}  // namespace

struct MainMenu::State {
    // Items without a submenu are plain actions; an item with one is its submenu's action.
    // Submenus are parentless widgets, so code that deletes every top-level widget may take
    // them first: they are held through guarded pointers.
    std::vector<std::unique_ptr<QAction>> plainItems;
    std::vector<QPointer<QMenu>> submenus;
    QList<QPointer<QAction>> items;

    ~State() {
        for (const QPointer<QMenu>& menu : submenus) delete menu.data();
    }
};

MainMenu* MainMenu::current() {
    assertMainThread("MainMenu::current");
    return currentSlot().get();
}

void MainMenu::setCurrent(std::shared_ptr<MainMenu> menu) {
    assertMainThread("MainMenu::setCurrent");
    currentSlot() = std::move(menu);
}

std::shared_ptr<MainMenu> MainMenu::makeDefault() {
    auto menu = std::make_shared<MainMenu>();
    QMenu* application = menu->addItem(QStringLiteral("Pexmora"));
    QAction* quit = application->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);
    // Ends a running session in order before the application goes.
    QObject::connect(quit, &QAction::triggered, [] { WindowLifecycle::shared().quit(); });
    menu->addItem(QStringLiteral("Window"));
    return menu;
}

MainMenu::MainMenu() : state_(std::make_unique<State>()) {}

MainMenu::~MainMenu() = default;

QMenu* MainMenu::addItem(const QString& title, bool withSubmenu) {
    if (!withSubmenu) {
        auto& action = state_->plainItems.emplace_back(std::make_unique<QAction>(title));
        state_->items.append(action.get());
        return nullptr;
    }
    auto* submenu = new QMenu(title);
    state_->submenus.emplace_back(submenu);
    state_->items.append(submenu->menuAction());
    return submenu;
}

QList<QAction*> MainMenu::items() const {
    QList<QAction*> alive;
    for (const QPointer<QAction>& action : state_->items) {
        if (action) alive.append(action.data());
    }
    return alive;
}

QAction* MainMenu::item(const QString& title) const {
    for (QAction* action : items()) {
        if (action->text() == title) return action;
    }
    return nullptr;
}

QMenu* MainMenu::submenu(const QString& title) const {
    QAction* found = item(title);
    return found ? found->menu<QMenu*>() : nullptr;
}

void MainMenu::fill(QMenuBar* bar) const {
    for (QAction* action : items()) bar->addAction(action);
    // Qt's accessibility keeps one entry per menu item, owned by the first bar that was read;
    // once that bar goes, every later bar would show the item as gone to assistive technology.
    // So the entries go with the bar, and the next bar that is read gets its own.
    QObject::connect(bar, &QObject::destroyed, [items = state_->items] {
        for (const QPointer<QAction>& action : items) {
            if (!action) continue;
            if (QAccessibleInterface* entry = QAccessible::queryAccessibleInterface(action)) {
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(entry));
            }
        }
    });
}

QList<QAction*> MainMenu::shortcutActions() const {
    QList<QAction*> found;
    for (QAction* item : items()) {
        const QMenu* submenu = item->menu<QMenu*>();
        if (!submenu) continue;
        for (QAction* action : submenu->actions()) {
            if (!action->shortcut().isEmpty()) found.append(action);
        }
    }
    return found;
}

}  // namespace pex
