// The main window as it shows after a login: the top bar, the sidebar and the page container,
// with the first page and with another sidebar item chosen.
#include <memory>

#include "Gallery.h"
#include "Main/ContentContainerViewController.h"
#include "Main/HomeLeftView.h"
#include "Main/SidebarViewController.h"
#include "Main/ViewController.h"
#include "Tools/ContentWindow.h"
#include "Tools/WindowLifecycle.h"

namespace pex::gallery {
namespace {

QImage renderMainWindow(int tag) {
    auto* controller = new shell::ViewController;
    ContentWindow window(controller);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setContentSize(WindowLifecycle::kMainContentSize);
    window.setWindowTitle(QString::fromUtf8(WindowLifecycle::kMainTitle));
    if (tag != 0) {
        HomeLeftView* menu = controller->sidebar()->leftView();
        menu->selectIndex = tag;
        menu->updateSelection();
        controller->container()->showPage(tag);
    }
    return snapshot(window);
}

const Entry firstPage{"ViewController", "interview", [] { return renderMainWindow(0); }};
const Entry settingsPage{"ViewController", "aiSettings", [] { return renderMainWindow(3); }};

}  // namespace
}  // namespace pex::gallery
