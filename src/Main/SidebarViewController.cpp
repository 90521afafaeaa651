#include "Main/SidebarViewController.h"

#include <string>

#include "Main/HomeLeftView.h"
#include "Tools/NotificationNames.h"
#include "Tools/PinToParent.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {
constexpr int kAiSettingTag = 3;
constexpr int kPurchaseTag = 4;
}  // namespace

SidebarViewController::SidebarViewController(QObject* parent) : ViewController(parent) {}

SidebarViewController::~SidebarViewController() = default;

SidebarDelegate* SidebarViewController::delegate() const {
    if (delegateIsObject_ && !delegateObject_) return nullptr;
    return delegate_;
}

void SidebarViewController::setDelegate(SidebarDelegate* delegate) {
    delegate_ = delegate;
    auto* object = dynamic_cast<QObject*>(delegate);
    delegateObject_ = object;
    delegateIsObject_ = object != nullptr;
}

HomeLeftView* SidebarViewController::leftView() {
    if (!leftView_) {
        leftView_ = new HomeLeftView;
        // The handler holds the sidebar weakly: after the sidebar is gone a tap does nothing.
        leftView_->didSelectItem = [sidebar = QPointer<SidebarViewController>(this)](int tag) {
            if (sidebar) sidebar->didSelect(tag);
        };
    }
    return leftView_.data();
}

void SidebarViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    setupSidebar();
    auto& centre = NotificationCenter::defaultCenter();
    aiSettingObserver_ = ScopedObserver(
        centre,
        centre.addObserver(NotificationNames::aiSetting, nullptr,
                           [this](const Notification& note) { handleMyNotification1(note); }));
    purchaseObserver_ = ScopedObserver(
        centre,
        centre.addObserver(NotificationNames::purchase, nullptr,
                           [this](const Notification& note) { handleMyNotification2(note); }));
}

void SidebarViewController::setupSidebar() {
    QWidget* root = view();
    root->setAutoFillBackground(true);
    QPalette palette = root->palette();
    palette.setColor(QPalette::Window, Qt::white);
    root->setPalette(palette);
    HomeLeftView* menu = leftView();
    menu->setParent(root);
    pinEdgesToParent(menu);
    menu->show();
}

void SidebarViewController::didSelect(int tag) {
    consoleLog("选中了 " + std::to_string(tag));
    HomeLeftView* menu = leftView();
    menu->selectIndex = tag;
    menu->updateSelection();
    if (SidebarDelegate* target = delegate()) target->showPage(tag);
}

void SidebarViewController::handleMyNotification1(const Notification& notification) {
    showFromNotification(notification, kAiSettingTag);
}

void SidebarViewController::handleMyNotification2(const Notification& notification) {
    showFromNotification(notification, kPurchaseTag);
}

void SidebarViewController::showFromNotification(const Notification& notification, int tag) {
    const auto& info = notification.userInfo;
    if (!info.is_object()) return;
    const auto message = info.find("message");
    if (message == info.end() || !message->is_string()) return;
    consoleLog("收到通知内容：" + message->get<std::string>());
    HomeLeftView* menu = leftView();
    menu->selectIndex = tag;
    menu->updateSelection();
    if (SidebarDelegate* target = delegate()) target->showPage(tag);
}

}  // namespace pex
