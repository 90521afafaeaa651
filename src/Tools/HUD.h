#pragma once
// The in-window busy indicator: class-level operations around one MacStatusHUD panel in the
// centre of the application's main window. At most one panel is on screen through these
// operations; a new show replaces the panel at once. Main thread only.
#include <QPointer>
#include <QString>
#include <functional>

#include "Tools/MacStatusHUD.h"

namespace pex {

class HUD {
  public:
    HUD() = delete;

    // The panel on screen, if any.
    static MacStatusHUD* current();

    // Shows the panel with `message` over the main window's content. Without a main window
    // nothing changes; without a content view the earlier panel goes and none is shown.
    static void show(const QString& message);

    // Shows the panel, then after `seconds` removes it (only that panel: a newer one shown in
    // the meantime stays) and runs `completion` (always).
    static void showThenHide(const QString& message, double seconds,
                             std::function<void()> completion);

    // Removes the panel, if any, and runs `completion`.
    static void hide(std::function<void()> completion = nullptr);
};

}  // namespace pex
