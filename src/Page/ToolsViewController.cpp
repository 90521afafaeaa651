#include "Page/ToolsViewController.h"

#include <QPalette>

#include "platform/appkit/Color.h"

namespace pex {

ToolsViewController::ToolsViewController(QObject* parent) : ViewController(parent) {}

void ToolsViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    QWidget* page = view();
    QPalette palette = page->palette();  // white
    palette.setColor(QPalette::Window, Color::grey(1).toQColor());
    page->setPalette(palette);
    page->setAutoFillBackground(true);
}

}  // namespace pex
