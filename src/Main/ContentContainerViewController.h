#pragma once
// The main window's page area. It shows one page at a time, chosen by a sidebar tag; each page
// is made the first time its tag is shown and kept (hidden, not removed) while the user visits
// others, so it keeps its state. Tag 7 is not a page: it logs out, after ending a running
// session.
#include <QPointer>
#include <functional>
#include <map>

#include "Main/SidebarDelegate.h"
#include "platform/appkit/ViewController.h"

namespace pex {

class ContentContainerViewController : public ViewController, public SidebarDelegate {
    Q_OBJECT
  public:
    static constexpr int kLogoutTag = 7;
    static constexpr const char* kLogoutPath = "/user/logout";
    static constexpr const char* kLogoutMessage = "账号已退出登录";

    explicit ContentContainerViewController(QObject* parent = nullptr);
    ~ContentContainerViewController() override;

    ViewController* currentVC() const { return currentVC_.data(); }
    // The pages made so far, by tag; the container owns them.
    const std::map<int, ViewController*>& viewControllers() const { return viewControllers_; }

    void showPage(int tag) override;

    // Tag 7: ends a running session (its final report answered, or after the same wait as a
    // quit), then sends the logout request. Once per container.
    void logOut();
    // The end of the logout request, whatever its outcome: the short message, then 0.25 s
    // later the login ends in the windows (see SignOut.h).
    static void logoutCompleted();

    // A new page for `tag`: the page of its class, or an empty plain page.
    static ViewController* makePage(int tag);

  protected:
    void viewDidLoad() override;

  private:
    QPointer<ViewController> currentVC_;
    std::map<int, ViewController*> viewControllers_;
    bool loggingOut_ = false;
};

}  // namespace pex
