#include "Main/ViewController.h"

#include <QSplitter>

#include "Main/ContentContainerViewController.h"
#include "Main/SidebarViewController.h"
#include "Main/TopBarView.h"
#include "Tools/PinToParent.h"
#include "Tools/UIConstants.h"

namespace pex::shell {

namespace {

// The window's content: the top bar over the split view, which fills the rest.
class MainContentView : public QWidget {
  public:
    QPointer<QWidget> topBar;
    QPointer<QWidget> splitView;

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        layoutParts();
    }
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        layoutParts();
    }

  private:
    void layoutParts() {
        const int barHeight = TopBarView::kHeight;
        if (topBar) topBar->setGeometry(0, 0, width(), barHeight);
        if (splitView) splitView->setGeometry(0, barHeight, width(), height() - barHeight);
    }
};

}  // namespace

ViewController::ViewController(QObject* parent)
    : pex::ViewController(parent), topBar_(new TopBarView) {}

ViewController::~ViewController() {
    if (topBar_ && !topBar_->parent()) delete topBar_.data();
}

TopBarView* ViewController::topBar() const {
    return topBar_.data();
}

SidebarViewController* ViewController::sidebar() const {
    return sidebar_.data();
}

ContentContainerViewController* ViewController::container() const {
    return container_.data();
}

QSplitter* ViewController::splitView() const {
    return splitView_.data();
}

void ViewController::loadView() {
    setView(new MainContentView);
}

void ViewController::viewDidLoad() {
    pex::ViewController::viewDidLoad();
    auto* root = static_cast<MainContentView*>(view());
    auto* split = new QSplitter(Qt::Horizontal, root);
    splitView_ = split;
    root->splitView = split;

    topBar_->setParent(root);
    root->topBar = topBar_.data();
    topBar_->show();

    sidebar_ = new SidebarViewController(this);
    QWidget* sidebarView = sidebar_->view();
    QPalette palette = sidebarView->palette();
    palette.setColor(QPalette::Window, themePageBackgroundColor().toQColor());
    sidebarView->setPalette(palette);
    sidebarView->setAutoFillBackground(true);
    sidebarView->setMinimumWidth(kSidebarWidth);
    sidebarView->setMaximumWidth(kSidebarWidth);
    split->addWidget(sidebarView);

    // The pages keep their 750 × 500 and sit in the middle of the pane right of the sidebar,
    // below the bar: centred on the whole window they would slide under the sidebar.
    container_ = new ContentContainerViewController(this);
    auto* pagePane = new QWidget;
    split->addWidget(pagePane);
    QWidget* pages = container_->view();
    pages->setParent(pagePane);
    centreInParent(pages, QSize(kPageWidth, kPageHeight));
    pages->show();

    sidebar_->setDelegate(container_.data());

    for (int index = 0; index < split->count(); ++index) {
        split->setCollapsible(index, canCollapseSubview(split->widget(index)));
    }
    if (shouldHideDivider(0)) split->setHandleWidth(0);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarWidth, kPageWidth});
    topBar_->raise();
    // Smaller, the page would slide under the sidebar or the bar.
    root->setMinimumSize(kSidebarWidth + kPageWidth, TopBarView::kHeight + kPageHeight);
}

bool ViewController::shouldHideDivider(int) const {
    return true;
}

bool ViewController::canCollapseSubview(const QWidget*) const {
    return false;
}

double ViewController::constrainSplitPosition(double proposedPosition, int) const {
    return proposedPosition;
}

}  // namespace pex::shell
