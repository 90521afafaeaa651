#pragma once
// The main window's sidebar: the menu view, the link from a chosen item to the page container
// (its delegate), and the two notifications with which the interview pages send the user to
// the AI settings page (tag 3) or the purchase page (tag 4).
#include <QPointer>

#include "Main/SidebarDelegate.h"
#include "platform/appkit/ViewController.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

class HomeLeftView;

class SidebarViewController : public ViewController {
    Q_OBJECT
  public:
    explicit SidebarViewController(QObject* parent = nullptr);
    ~SidebarViewController() override;

    // Held weakly: a delegate that is a QObject is forgotten when it is destroyed; any other
    // delegate must outlive the sidebar.
    SidebarDelegate* delegate() const;
    void setDelegate(SidebarDelegate* delegate);

    HomeLeftView* leftView();

    void handleMyNotification2(const Notification& notification);  // "PurchaseNotification"
    void handleMyNotification1(const Notification& notification);  // "AiSettingNotification"
    void setupSidebar();

  protected:
    void viewDidLoad() override;

  private:
    void didSelect(int tag);
    void showFromNotification(const Notification& notification, int tag);

    SidebarDelegate* delegate_ = nullptr;
    QPointer<QObject> delegateObject_;
    bool delegateIsObject_ = false;
    QPointer<HomeLeftView> leftView_;
    ScopedObserver aiSettingObserver_;
    ScopedObserver purchaseObserver_;
};

}  // namespace pex
