#include "Page/ScholarCardViewController.h"

#include <QPalette>

#include "platform/appkit/Color.h"

namespace pex {

ScholarCardViewController::ScholarCardViewController(QObject* parent) : ViewController(parent) {}

void ScholarCardViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    QWidget* page = view();
    QPalette palette = page->palette();  // the platform's grey: half white
    palette.setColor(QPalette::Window, Color::grey(0.5).toQColor());
    page->setPalette(palette);
    page->setAutoFillBackground(true);
}

}  // namespace pex
