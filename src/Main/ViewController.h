#pragma once
// The main window's content: the top bar across the whole width, the 180-point sidebar on
// the left under it, and the page container on the right. It is a split view of two panes
// (sidebar and pages) whose divider is never drawn, sits at 180 and cannot collapse a pane.
//
// The class keeps the name the rest of the application knows it by; it lives in `pex::shell`
// because `pex::ViewController` is the platform's controller base it derives from.
#include <QPointer>

#include "platform/appkit/ViewController.h"

class QSplitter;

namespace pex {
class ContentContainerViewController;
class SidebarViewController;
class TopBarView;
}  // namespace pex

namespace pex::shell {

class ViewController : public pex::ViewController {
    Q_OBJECT
  public:
    static constexpr int kSidebarWidth = 180;
    static constexpr int kPageWidth = 750;
    static constexpr int kPageHeight = 500;

    // Makes the top bar at once, so the bar's user-type request goes out now, before the
    // view exists.
    explicit ViewController(QObject* parent = nullptr);
    ~ViewController() override;

    TopBarView* topBar() const;
    SidebarViewController* sidebar() const;
    ContentContainerViewController* container() const;
    QSplitter* splitView() const;

    // The split view's delegate answers.
    bool shouldHideDivider(int index) const;
    bool canCollapseSubview(const QWidget* subview) const;
    double constrainSplitPosition(double proposedPosition, int dividerIndex) const;

  protected:
    void loadView() override;
    void viewDidLoad() override;

  private:
    QPointer<TopBarView> topBar_;
    QPointer<SidebarViewController> sidebar_;
    QPointer<ContentContainerViewController> container_;
    QPointer<QSplitter> splitView_;
};

}  // namespace pex::shell
