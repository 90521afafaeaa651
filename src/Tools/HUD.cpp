#include "Tools/HUD.h"

#include <chrono>

#include "Tools/PinToParent.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

// Main thread only. Cleared by itself when the window takes the panel down with it.
QPointer<MacStatusHUD>& currentPanel() {
    static QPointer<MacStatusHUD> panel;
    return panel;
}

void takeDown(MacStatusHUD* panel) {
    if (!panel) return;
    removeFromSuperview(panel);
    panel->deleteLater();
}

}  // namespace

MacStatusHUD* HUD::current() {
    return currentPanel().data();
}

void HUD::show(const QString& message) {
    assertMainThread("HUD::show");
    QWidget* window = ApplicationWindows::mainWindow();
    if (!window) return;
    takeDown(currentPanel().data());
    currentPanel() = nullptr;
    QWidget* content = ApplicationWindows::contentView(window);
    if (!content) return;
    auto* panel = new MacStatusHUD;
    panel->messageLabel()->setText(message);
    addSubview(content, panel);
    centreInParent(panel, QSize(MacStatusHUD::kWidth, MacStatusHUD::kHeight));
    currentPanel() = panel;
}

void HUD::showThenHide(const QString& message, double seconds, std::function<void()> completion) {
    MacStatusHUD* const before = currentPanel().data();
    show(message);
    // When nothing new was shown (no main window), the panel still up is not this call's.
    MacStatusHUD* const shownNow = currentPanel().data();
    const QPointer<MacStatusHUD> shown(shownNow != before ? shownNow : nullptr);
    const auto delay =
        std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds));
    DispatchQueue::main().asyncAfter(delay, [shown, completion = std::move(completion)]() mutable {
        // A newer panel is someone else's to take down.
        if (currentPanel().data() == shown.data()) {
            hide(std::move(completion));
        } else if (completion) {
            completion();
        }
    });
}

void HUD::hide(std::function<void()> completion) {
    assertMainThread("HUD::hide");
    takeDown(currentPanel().data());
    currentPanel() = nullptr;
    if (completion) completion();
}

}  // namespace pex
