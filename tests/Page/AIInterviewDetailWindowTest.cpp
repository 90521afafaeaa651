// The session window's view side: layouts by answer mode and order, the pin toggle and its
// tip, Ctrl+K, the question box's editability and the close path on the manual clock.
#include "Page/SessionWindowFixture.h"
#include "Tools/AppImages.h"
#include "platform/appkit/TransparentTitleBar.h"
#include "platform/appkit/WindowLevel.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using standin::Fault;

class SessionWindow : public SessionWindowTest {
  protected:
    // A window whose billing is refused: nothing runs, the views stay as built.
    CountingController* openIdle(const AIInterviewModel& model) {
        service_.setFault("/consume/start", Fault::serviceError(1005, "余额不足"));
        const int ended = console_.linesStartingWith("💰计费结束:");
        CountingController* controller = open(model);
        EXPECT_TRUE(runMainUntil([&] { return console_.linesStartingWith("💰计费结束:") > ended; }));
        EXPECT_TRUE(runMainUntil([&] { return controller->view()->width() == 1000; }));
        flush();
        return controller;
    }

    static bool contains(QWidget* pane, QWidget* view) { return view && pane->isAncestorOf(view); }
};

TEST_F(SessionWindow, OpensFloatingAtItsSizeOverATranslucentBackground) {
    CountingController* controller = openIdle(settings());
    ASSERT_TRUE(window_);
    EXPECT_EQ(controller->view()->size(), QSize(1000, 700));
    EXPECT_EQ(window_->windowTitle(), "面试助攻");
    EXPECT_EQ(windowLevel(window_), WindowLevel::floating);
    EXPECT_TRUE(window_->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(controller->isTop);
    EXPECT_EQ(controller->timeLabel()->geometry().topLeft(), QPoint(16, 16));
    EXPECT_EQ(controller->topImg()->geometry(),
              QRect(1000 - 50 - 26, controller->timeLabel()->geometry().center().y() - 13, 26, 26));
    EXPECT_TRUE(controller->startButton()->isHidden());
    EXPECT_EQ(controller->audioModeLab()->text(), "音频：麦克风声音");
    EXPECT_EQ(controller->audioModeLab()->x(), controller->timeLabel()->geometry().right() + 61);
}

struct LayoutCase {
    const char* name;
    std::int64_t antoAnswerType;
    std::int64_t sequenceType;
    bool manual;
    bool transcriptInTopView;
    bool topViewFirst;  // automatic mode: the split view's upper pane is topView
};

TEST_F(SessionWindow, PanesFollowTheAnswerModeAndTheOrder) {
    const std::vector<LayoutCase> cases = {
        {"automatic, order 0", 0, 0, false, true, true},
        {"automatic, order 1", 0, 1, false, true, false},
        {"manual, order 0", 1, 0, true, true, true},
        {"manual, order 1", 1, 1, true, false, true},
        {"any other answer mode is manual", 2, 0, true, true, true},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        AIInterviewModel model = settings(1, c.antoAnswerType, c.sequenceType);
        model.deviceType = 1;
        CountingController* controller = openIdle(model);
        LayerBackedView* top = controller->topView();
        LayerBackedView* bottom = controller->bottomView();
        LayerBackedView* transcriptPane = c.transcriptInTopView ? top : bottom;
        LayerBackedView* answerPane = c.transcriptInTopView ? bottom : top;
        EXPECT_TRUE(contains(transcriptPane, controller->topTableView()));
        EXPECT_TRUE(contains(answerPane, controller->bottomTableView()));
        // Each scroll-to-bottom button sits in its table's pane, 10 in from its lower right.
        EXPECT_TRUE(contains(transcriptPane, controller->topScrollToBottomButton()));
        EXPECT_TRUE(contains(answerPane, controller->bottomScrollToBottomButton()));
        EXPECT_EQ(controller->topScrollToBottomButton()->geometry(),
                  QRect(transcriptPane->width() - 40, transcriptPane->height() - 40, 30, 30));
        EXPECT_EQ(controller->answerModeLab()->text(),
                  c.manual ? "回答模式：手动模式" : "回答模式：自动模式");
        EXPECT_EQ(controller->audioModeLab()->text(), "音频：系统声音");
        const int paneTop = controller->timeLabel()->geometry().bottom() + 1 + 11;
        if (c.manual) {
            EXPECT_EQ(controller->splitView(), nullptr);
            ASSERT_NE(controller->textView(), nullptr);
            EXPECT_EQ(top->geometry(), QRect(16, paneTop, 968, 175));
            EXPECT_EQ(controller->textView()->geometry(), QRect(16, paneTop + 175 + 23, 968, 175));
            EXPECT_EQ(bottom->geometry().top(), controller->textView()->geometry().bottom() + 24);
            EXPECT_EQ(bottom->geometry().bottom(), 700 - 16 - 1);
            EXPECT_EQ(controller->topTableView()->geometry(),
                      transcriptPane->rect().adjusted(-2, -2, 2, 2));
            // The button and its hint sit inside the question box's lower right corner.
            const QRect box = controller->textView()->geometry();
            EXPECT_TRUE(box.contains(controller->aiResponseButton()->geometry()));
            EXPECT_TRUE(box.contains(controller->commonkLab()->geometry()));
            EXPECT_EQ(controller->commonkLab()->geometry().right(), 1000 - 23 - 1);
            EXPECT_EQ(controller->aiResponseButton()->size(), QSize(75, 35));
            EXPECT_TRUE(controller->hasKeyMonitor());
        } else {
            ASSERT_NE(controller->splitView(), nullptr);
            EXPECT_EQ(controller->textView(), nullptr);
            EXPECT_EQ(controller->aiResponseButton(), nullptr);
            EXPECT_EQ(controller->commonkLab(), nullptr);
            EXPECT_FALSE(controller->hasKeyMonitor());
            EXPECT_EQ(controller->splitView()->widget(0), c.topViewFirst ? top : bottom);
            EXPECT_EQ(controller->splitView()->widget(1), c.topViewFirst ? bottom : top);
            EXPECT_EQ(controller->splitView()->geometry(),
                      QRect(16, paneTop, 968, 700 - 16 - paneTop));
            EXPECT_EQ(controller->splitView()->widget(0)->height(), 200);
            EXPECT_EQ(controller->topTableView()->geometry(),
                      transcriptPane->rect().adjusted(4, 4, -4, -4));
        }
        delete window_.data();
        service_.clearFaults();
        settle();
    }
}

TEST_F(SessionWindow, ThePinTogglesTheLevelItsImageAndItsTip) {
    CountingController* controller = openIdle(settings());
    const QImage pinned = AppImages::named("translate_up").toImage();
    const QImage unpinned = AppImages::named("translate_up1").toImage();
    ASSERT_NE(pinned, unpinned);
    EXPECT_EQ(controller->topImg()->image().toImage(), pinned);

    controller->showPinTip(true);
    EXPECT_TRUE(controller->tipLab()->isVisible());
    EXPECT_EQ(controller->tipLab()->text(), "取消置顶");
    EXPECT_EQ(controller->tipLab()->geometry().right() + 1, controller->topImg()->x() - 2);

    click(controller->topImg());
    EXPECT_FALSE(controller->isTop);
    EXPECT_EQ(windowLevel(window_), WindowLevel::normal);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(controller->topImg()->image().toImage(), unpinned);
    EXPECT_EQ(controller->tipLab()->text(), "置顶");

    click(controller->topImg());
    EXPECT_TRUE(controller->isTop);
    EXPECT_EQ(windowLevel(window_), WindowLevel::floating);
    EXPECT_EQ(controller->topImg()->image().toImage(), pinned);
    controller->showPinTip(false);
    EXPECT_FALSE(controller->tipLab()->isVisible());
}

TEST_F(SessionWindow, CtrlKAsksOnlyInManualModeFromAnyWindow) {
    CountingController* manual = openIdle(settings(1, 1));
    QWidget other;
    other.show();
    struct Press {
        QWidget* target;
        int key;
        Qt::KeyboardModifiers modifiers;
        int asks;
    };
    for (const Press& press : std::vector<Press>{
             {manual->textView(), Qt::Key_K, Qt::ControlModifier, 1},
             {manual->textView(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, 2},
             {&other, Qt::Key_K, Qt::ControlModifier, 3},
             {manual->textView(), Qt::Key_K, Qt::NoModifier, 3},
             {manual->textView(), Qt::Key_J, Qt::ControlModifier, 3},
         }) {
        pressKey(press.target, press.key, press.modifiers, "k");
        EXPECT_EQ(manual->asks, press.asks);
    }
    click(manual->aiResponseButton());
    EXPECT_EQ(manual->asks, 4);
    delete window_.data();
    service_.clearFaults();
    settle();

    CountingController* automatic = openIdle(settings(1, 0));
    pressKey(&other, Qt::Key_K, Qt::ControlModifier, "k");
    EXPECT_EQ(automatic->asks, 0);
}

TEST_F(SessionWindow, ClosingWithoutASessionSavesForTwoSecondsThenRaisesTheMainWindow) {
    openIdle(settings());
    ASSERT_FALSE(mainWindow_->isVisible());
    window_->close();
    EXPECT_EQ(hudText(), "Saving...");
    // The route goes back once the capture has stopped.
    ASSERT_TRUE(runMainUntil([&] { return restores_ == 1; }));
    advance(std::chrono::milliseconds(1990));
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->isVisible());
    advance(std::chrono::milliseconds(10));
    ASSERT_TRUE(runMainUntil([&] { return window_.isNull(); }));
    EXPECT_FALSE(mainWindow_->isVisible());
    advance(std::chrono::milliseconds(100));
    EXPECT_TRUE(mainWindow_->isVisible());
    settle();
    EXPECT_TRUE(reportStatuses().empty());  // nothing was open to report
}

TEST_F(SessionWindow, ASecondCloseDuringSavingClosesAtOnce) {
    openIdle(settings());
    window_->close();
    ASSERT_TRUE(window_);
    window_->close();
    ASSERT_TRUE(runMainUntil([&] { return window_.isNull(); }));
    ASSERT_TRUE(runMainUntil([&] { return restores_ == 1; }));
    advance(std::chrono::milliseconds(2000));  // the pending step still raises the main window
    advance(std::chrono::milliseconds(100));
    EXPECT_TRUE(mainWindow_->isVisible());
}

TEST_F(SessionWindow, TheQuestionBoxTakesTextOnlyWhileRecognitionRuns) {
    ReplyGate& token = holdTokenReplies();
    CountingController* controller = open(settings(1, 1));
    ASSERT_TRUE(runMainUntil([&] { return token.waiting() == 1; }));
    flush();
    EXPECT_TRUE(controller->textView()->isReadOnly());
    token.open();
    ASSERT_TRUE(waitForRecogniser());
    flush();
    EXPECT_FALSE(controller->textView()->isReadOnly());
    controller->stopTapped();
    ASSERT_TRUE(runMainUntil([&] { return controller->textView()->isReadOnly(); }));
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reportStatuses(), std::vector<int>{2});
    EXPECT_EQ(hudText(), "已停止");
}

TEST_F(SessionWindow, ATransparentTitleBarOfItsOwnTakesTheFramesPlace) {
    CountingController* controller = openIdle(settings());
    ASSERT_TRUE(window_);
    auto* bar = qobject_cast<TransparentTitleBar*>(window_->menuWidget());
    ASSERT_NE(bar, nullptr);
    // No frame of the window manager's, and still floating above the other windows.
    EXPECT_TRUE(window_->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(windowLevel(window_), WindowLevel::floating);
    EXPECT_EQ(bar->titleLabel()->text(), "面试助攻");
    // The bar lies over the same translucent dark colour, above the content's 1000 × 700.
    EXPECT_EQ(bar->palette().color(QPalette::Window), AIInterviewDetailWindow::kBackground);
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 1000, TransparentTitleBar::kHeight));
    EXPECT_EQ(controller->view()->size(), QSize(1000, 700));
    EXPECT_EQ(controller->view()->mapTo(window_, QPoint(0, 0)),
              QPoint(0, TransparentTitleBar::kHeight));

    // Its close button takes the close path: the window stays while the session is saved.
    click(bar->closeButton());
    EXPECT_EQ(hudText(), "Saving...");
    ASSERT_TRUE(window_);
    EXPECT_TRUE(controller->isClosing);
}

}  // namespace
}  // namespace pex::test
