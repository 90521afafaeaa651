#include "Page/ActivitiesViewController.h"

#include <QPalette>

#include "platform/appkit/Color.h"

namespace pex {

ActivitiesViewController::ActivitiesViewController(QObject* parent) : ViewController(parent) {}

void ActivitiesViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    QWidget* page = view();
    QPalette palette = page->palette();  // the platform's light grey: two-thirds white
    palette.setColor(QPalette::Window, Color::grey(2.0 / 3).toQColor());
    page->setPalette(palette);
    page->setAutoFillBackground(true);
}

}  // namespace pex
