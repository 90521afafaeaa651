#include "Tools/BaseViewController.h"

#include <QPalette>
#include <QPointer>
#include <chrono>

#include "Tools/ColorExtension.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

namespace {
constexpr std::int64_t kPageBackground = 0xF0FBF9;
constexpr auto kClearFocusDelay = std::chrono::milliseconds(100);
}  // namespace

BaseViewController::BaseViewController(QObject* parent) : ViewController(parent) {}

void BaseViewController::loadView() {
    auto* view = new QWidget;
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, colorWithHex(kPageBackground).toQColor());
    view->setPalette(palette);
    view->setAutoFillBackground(true);
    setView(view);
}

void BaseViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    clearFirstResponderLater();
    setupUI();
    setupConstraints();
}

void BaseViewController::setupUI() {}

void BaseViewController::setupConstraints() {}

void BaseViewController::clearFirstResponderLater() {
    DispatchQueue::main().asyncAfter(kClearFocusDelay, [page = QPointer<BaseViewController>(this)] {
        if (!page) return;
        QWidget* view = page->viewIfLoaded();
        if (!view) return;
        // A view outside any window is its own window in Qt; its focus is cleared all the same.
        if (QWidget* focused = view->window()->focusWidget()) focused->clearFocus();
    });
}

}  // namespace pex
