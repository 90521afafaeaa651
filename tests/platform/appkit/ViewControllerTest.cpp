#include "platform/appkit/ViewController.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include "platform/appkit/ApplicationWindows.h"

namespace pex {
namespace {

class RecordingController : public ViewController {
  public:
    std::vector<std::string> calls;
    QWidget* seenInDidLoad = nullptr;

  protected:
    void loadView() override {
        calls.push_back("loadView");
        setView(new QLabel(QStringLiteral("page")));
    }
    void viewDidLoad() override {
        calls.push_back("viewDidLoad");
        seenInDidLoad = view();  // reading the view while it loads gives that same view
    }
};

TEST(ViewControllerTest, LoadsItsViewOnceOnFirstUseWithTheSubclassSteps) {
    RecordingController controller;
    EXPECT_FALSE(controller.isViewLoaded());
    EXPECT_TRUE(controller.calls.empty());
    QWidget* view = controller.view();
    ASSERT_NE(qobject_cast<QLabel*>(view), nullptr);
    EXPECT_EQ(controller.view(), view);
    EXPECT_EQ(controller.seenInDidLoad, view);
    EXPECT_EQ(controller.calls, (std::vector<std::string>{"loadView", "viewDidLoad"}));
}

TEST(ViewControllerTest, OwnsItsViewOnlyUntilTheViewIsPlaced) {
    QPointer<QWidget> loose;
    {
        ViewController controller;
        loose = controller.view();
    }
    EXPECT_TRUE(loose.isNull());

    QWidget window;
    QPointer<QWidget> placed;
    {
        ViewController controller;
        placed = controller.view();
        placed->setParent(&window);
    }
    EXPECT_FALSE(placed.isNull());
}

TEST(ApplicationWindowsTest, PinnedWindowsAndContentViews) {
    QMainWindow main;
    auto* central = new QWidget;
    main.setCentralWidget(central);
    QWidget plain;

    EXPECT_EQ(ApplicationWindows::contentView(&main), central);
    EXPECT_EQ(ApplicationWindows::contentView(&plain), &plain);
    EXPECT_EQ(ApplicationWindows::contentView(nullptr), nullptr);

    {
        ScopedKeyWindow pinned(&plain);
        EXPECT_EQ(ApplicationWindows::keyWindow(), &plain);
        EXPECT_EQ(ApplicationWindows::mainWindow(), &plain);
    }
    // Released, the answer is Qt's active window again.
    EXPECT_EQ(ApplicationWindows::keyWindow(), QApplication::activeWindow());

    {
        auto window = std::make_unique<QWidget>();
        ApplicationWindows::setDelegateWindow(window.get());
        EXPECT_EQ(ApplicationWindows::delegateWindow(), window.get());
    }
    EXPECT_EQ(ApplicationWindows::delegateWindow(), nullptr);  // a closed window is forgotten
}

}  // namespace
}  // namespace pex
