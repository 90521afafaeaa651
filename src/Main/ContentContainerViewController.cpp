#include "Main/ContentContainerViewController.h"

#include <chrono>

#include "Page/AIInterviewPages/AISettingViewController.h"
#include "Page/AIInterviewPages/InterviewSettingViewController.h"
#include "Page/About/AboutMeViewController.h"
#include "Page/Mine/MineViewController.h"
#include "Page/Purchase/PurchaseViewController.h"
#include "Tools/PinToParent.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/WindowLifecycle.h"
#include "platform/foundation/DispatchQueue.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"

namespace pex {

namespace {
constexpr auto kSignOutDelay = std::chrono::milliseconds(250);
}  // namespace

ContentContainerViewController::ContentContainerViewController(QObject* parent)
    : ViewController(parent) {}

ContentContainerViewController::~ContentContainerViewController() = default;

void ContentContainerViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    showPage(0);
}

ViewController* ContentContainerViewController::makePage(int tag) {
    switch (tag) {
        case 0:
            return new InterviewSettingViewController;
        case 1:
            return new MineViewController;
        case 3:
            return new AISettingViewController;
        case 4:
            return new PurchaseViewController;
        case 5:
            return new AboutMeViewController;
        default:
            return new ViewController;
    }
}

void ContentContainerViewController::showPage(int tag) {
    if (tag == kLogoutTag) {
        logOut();
        return;
    }
    if (currentVC_) {
        if (QWidget* shown = currentVC_->viewIfLoaded()) shown->hide();
    }
    ViewController* page = nullptr;
    if (const auto kept = viewControllers_.find(tag); kept != viewControllers_.end()) {
        page = kept->second;
    } else {
        page = makePage(tag);
        viewControllers_[tag] = page;
        page->setParent(this);
        QWidget* pageView = page->view();
        pageView->setParent(view());
        pinEdgesToParent(pageView);
    }
    page->view()->show();
    currentVC_ = page;
}

void ContentContainerViewController::logOut() {
    if (loggingOut_) return;  // a second click while a session ends asks nothing more
    loggingOut_ = true;
    // A session still running is ended first: its final usage report has to reach the service
    // while the token is still valid there, which the logout ends.
    WindowLifecycle::shared().endSessions([] {
        HttpDatas::shared().request(kLogoutPath, HTTPMethod::Post, std::nullopt, std::nullopt,
                                    [](auto, auto, auto) { logoutCompleted(); });
    });
}

void ContentContainerViewController::logoutCompleted() {
    StatusHUD::showMessage(QString::fromUtf8(kLogoutMessage), StatusHUDMode::text);
    DispatchQueue::main().asyncAfter(kSignOutDelay, [] {
        consoleLog("=======");
        WindowLifecycle::shared().signOut(SettingsStore::AutoLogin::forget);
    });
}

}  // namespace pex
