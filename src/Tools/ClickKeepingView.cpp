#include "Tools/ClickKeepingView.h"

#include <QMouseEvent>

#include "Tools/ViewHelpers.h"
#include "service/ConsoleLog.h"

namespace pex {

ClickKeepingView::ClickKeepingView(const char* viewName, QWidget* parent)
    : LayerBackedView(parent), viewName_(viewName) {}

void ClickKeepingView::bgTap() {
    consoleLog("111");
}

void ClickKeepingView::mousePressEvent(QMouseEvent* event) {
    logMouseEvent(viewName_, event);
    event->accept();
}

void ClickKeepingView::mouseReleaseEvent(QMouseEvent* event) {
    logMouseEvent(viewName_, event);
    event->accept();
}

}  // namespace pex
