#include "platform/appkit/TransparentTitleBar.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>
#include <cstdlib>

#include "platform/appkit/WindowEdgeResizer.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

const QColor kBackground(0x1D, 0x1E, 0x1F, 179);

// A window that counts the closes asked of it.
class CountingWindow : public QMainWindow {
  public:
    int closes = 0;

  protected:
    void closeEvent(QCloseEvent* event) override {
        ++closes;
        QMainWindow::closeEvent(event);
    }
};

class TransparentTitleBarTest : public ::testing::Test {
  protected:
    TransparentTitleBarTest() {
        window_->setAttribute(Qt::WA_TranslucentBackground);
        window_->setCentralWidget(new QWidget);
        window_->setWindowTitle(QStringLiteral("面试助攻"));
        bar_ = TransparentTitleBar::install(window_.get(), kBackground);
        window_->resize(400, 300 + TransparentTitleBar::kHeight);
        window_->move(100, 100);
        window_->show();
        QApplication::processEvents();
    }

    void sendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        const QPointF global = target->mapToGlobal(QPointF(local));
        QMouseEvent event(type, QPointF(local), QPointF(local), global,
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    std::unique_ptr<CountingWindow> window_ = std::make_unique<CountingWindow>();
    TransparentTitleBar* bar_ = nullptr;
};

TEST_F(TransparentTitleBarTest, ReplacesTheFrameAboveTheContentWithTheTitleAndTheControls) {
    EXPECT_TRUE(window_->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window_->menuWidget(), bar_);
    EXPECT_EQ(bar_->geometry(), QRect(0, 0, 400, TransparentTitleBar::kHeight));
    // The content keeps the rest of the window.
    EXPECT_EQ(window_->centralWidget()->geometry(),
              QRect(0, TransparentTitleBar::kHeight, 400, 300));
    // The title, centred, follows the window's.
    EXPECT_EQ(bar_->titleLabel()->text(), "面试助攻");
    EXPECT_EQ(bar_->titleLabel()->geometry(), bar_->rect());
    window_->setWindowTitle(QStringLiteral("另一个"));
    EXPECT_EQ(bar_->titleLabel()->text(), "另一个");
    // The controls at the right end, in the order minimise, zoom, close.
    EXPECT_EQ(bar_->closeButton()->geometry().right(), 399);
    EXPECT_LT(bar_->zoomButton()->x(), bar_->closeButton()->x());
    EXPECT_LT(bar_->minimizeButton()->x(), bar_->zoomButton()->x());
    EXPECT_EQ(bar_->closeButton()->accessibleName(), "关闭");
    EXPECT_EQ(bar_->minimizeButton()->accessibleName(), "最小化");
    EXPECT_EQ(bar_->zoomButton()->accessibleName(), "缩放");
}

TEST_F(TransparentTitleBarTest, DrawsTheWindowsTranslucentColourBehindTheTitle) {
    const QColor drawn = test::pixelAt(bar_, QPoint(4, 4));
    EXPECT_LE(std::abs(drawn.red() - kBackground.red()), 2)
        << drawn.name(QColor::HexArgb).toStdString();
    EXPECT_LE(std::abs(drawn.green() - kBackground.green()), 2);
    EXPECT_LE(std::abs(drawn.blue() - kBackground.blue()), 2);
    EXPECT_LE(std::abs(drawn.alpha() - kBackground.alpha()), 2);
}

TEST_F(TransparentTitleBarTest, ItsControlsCloseMinimiseAndZoomTheWindow) {
    test::click(bar_->zoomButton());
    EXPECT_TRUE(window_->isMaximized());
    test::click(bar_->zoomButton());
    EXPECT_FALSE(window_->isMaximized());
    // A double click on the bar zooms too.
    sendMouse(bar_, QEvent::MouseButtonDblClick, QPoint(20, 10), Qt::LeftButton);
    EXPECT_TRUE(window_->isMaximized());
    window_->showNormal();

    test::click(bar_->minimizeButton());
    EXPECT_TRUE(window_->isMinimized());
    window_->showNormal();

    // Closing goes through the window's own close, which may refuse it.
    test::click(bar_->closeButton());
    EXPECT_EQ(window_->closes, 1);
}

TEST_F(TransparentTitleBarTest, DraggingTheBarMovesTheWindow) {
    const QPoint start = window_->frameGeometry().topLeft();
    sendMouse(bar_, QEvent::MouseButtonPress, QPoint(50, 10), Qt::LeftButton);
    sendMouse(bar_, QEvent::MouseMove, QPoint(80, 30), Qt::LeftButton);
    sendMouse(bar_, QEvent::MouseButtonRelease, QPoint(80, 30), Qt::NoButton);
    EXPECT_EQ(window_->frameGeometry().topLeft(), start + QPoint(30, 20));
    // Moves after the release leave it where it is.
    sendMouse(bar_, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
    EXPECT_EQ(window_->frameGeometry().topLeft(), start + QPoint(30, 20));
}

TEST_F(TransparentTitleBarTest, TheEdgesShowTheResizeCursorWhileTheWindowCanBeResized) {
    QWindow* handle = window_->windowHandle();
    ASSERT_NE(handle, nullptr);
    const auto pointerAt = [&](QPoint at) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(at),
                         QPointF(handle->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        return window_->cursor().shape();
    };
    EXPECT_EQ(pointerAt(QPoint(1, 150)), Qt::SizeHorCursor);
    EXPECT_EQ(pointerAt(QPoint(200, handle->height() - 2)), Qt::SizeVerCursor);
    EXPECT_EQ(pointerAt(QPoint(handle->width() - 1, handle->height() - 1)), Qt::SizeFDiagCursor);
    EXPECT_EQ(pointerAt(QPoint(handle->width() - 2, 2)), Qt::SizeBDiagCursor);
    EXPECT_EQ(pointerAt(QPoint(200, 150)), Qt::ArrowCursor);
    window_->showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(pointerAt(QPoint(1, 150)), Qt::ArrowCursor);  // a maximised window is not resized
}

TEST(WindowEdgeResizerTest, FindsTheEdgesNearAPoint) {
    const QSize size(100, 50);
    const struct {
        QPoint at;
        Qt::Edges edges;
    } cases[] = {
        {{50, 25}, {}},
        {{0, 25}, Qt::LeftEdge},
        {{4, 25}, Qt::LeftEdge},
        {{5, 25}, {}},
        {{95, 25}, Qt::RightEdge},
        {{50, 0}, Qt::TopEdge},
        {{50, 49}, Qt::BottomEdge},
        {{0, 0}, Qt::LeftEdge | Qt::TopEdge},
        {{99, 49}, Qt::RightEdge | Qt::BottomEdge},
        {{100, 25}, {}},  // outside
        {{-1, 25}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WindowEdgeResizer::edgesAt(c.at, size), c.edges) << c.at.x() << "," << c.at.y();
    }
}

}  // namespace
}  // namespace pex
