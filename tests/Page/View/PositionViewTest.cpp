// The position editor in the centred pop-up: the placeholder follows the text, "确定" hands over
// the whole text (empty included) and closes, "取消" only closes, a click beside the text area
// ends the editing.
#include "Page/View/PositionView.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QKeyEvent>

#include "Tools/PopView/MYCenterPopView.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/AnimationFrames.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

// One key typed into `widget`, as the keyboard would deliver it.
void typeKey(QWidget* widget, int key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

class PositionViewTest : public ::testing::Test {
  protected:
    PositionViewTest() : keyWindow_(&window_) {
        window_.setCentralWidget(new QWidget);
        window_.resize(750, 500);
        window_.show();
        editor_ = new PositionView;
        editor_->resize(360, 360);
        overlay_ = MYCenterPopView::showInKeyWindow(editor_);
        advance();
    }
    void advance() { test::advanceInFrames(clock_.clock(), std::chrono::milliseconds(300)); }

    ScopedManualClock clock_;
    QMainWindow window_;
    ScopedKeyWindow keyWindow_;
    QPointer<PositionView> editor_;
    QPointer<MYCenterPopView> overlay_;
};

TEST_F(PositionViewTest, ThePlaceholderShowsExactlyWhileTheTextIsEmpty) {
    EXPECT_EQ(editor_->placeholderLabel()->text(), QStringLiteral("请输入文本..."));
    EXPECT_TRUE(editor_->placeholderLabel()->isVisible());
    editor_->roleTextView()->setFocus();
    typeKey(editor_->roleTextView(), Qt::Key_J, QStringLiteral("J"));
    EXPECT_FALSE(editor_->placeholderLabel()->isVisible());
    typeKey(editor_->roleTextView(), Qt::Key_Backspace);
    EXPECT_TRUE(editor_->placeholderLabel()->isVisible());
    // A click on the placeholder reaches the text area beneath it.
    EXPECT_EQ(test::click(editor_->placeholderLabel()), editor_->roleTextView()->viewport());
}

TEST_F(PositionViewTest, ConfirmHandsOverTheWholeTextAndCloses) {
    const QStringList texts = {QStringLiteral("后端开发工程师\n负责支付系统"), QString()};
    for (const QString& text : texts) {
        if (!overlay_) {
            editor_ = new PositionView;
            editor_->resize(360, 360);
            overlay_ = MYCenterPopView::showInKeyWindow(editor_);
            advance();
        }
        editor_->roleTextView()->setPlainText(text);
        std::vector<QString> received;
        editor_->sureContent = [&](const QString& value) { received.push_back(value); };
        test::click(editor_->sureButton());
        EXPECT_EQ(received, std::vector<QString>{text});
        advance();
        EXPECT_FALSE(overlay_);
    }
}

TEST_F(PositionViewTest, CancelOnlyClosesAndKeepsTheText) {
    editor_->roleTextView()->setPlainText(QStringLiteral("产品经理"));
    int cancelled = 0;
    bool confirmed = false;
    editor_->sureContent = [&](const QString&) { confirmed = true; };
    test::click(editor_->cancelButton());
    EXPECT_FALSE(confirmed);
    EXPECT_EQ(editor_->roleTextView()->toPlainText(), QStringLiteral("产品经理"));
    advance();
    EXPECT_FALSE(overlay_);

    editor_ = new PositionView;
    editor_->resize(360, 360);
    overlay_ = MYCenterPopView::showInKeyWindow(editor_);
    advance();
    editor_->cancelContent = [&] { ++cancelled; };
    test::click(editor_->cancelButton());
    EXPECT_EQ(cancelled, 1);
}

TEST_F(PositionViewTest, AClickBesideTheTextAreaEndsEditingAndKeepsThePopUp) {
    editor_->roleTextView()->setFocus();
    ASSERT_TRUE(editor_->roleTextView()->hasFocus());
    test::click(editor_, QPoint(5, 340));
    EXPECT_FALSE(editor_->roleTextView()->hasFocus());
    advance();
    EXPECT_TRUE(overlay_);
}

TEST_F(PositionViewTest, Layout) {
    const QRect box = editor_->contentView()->geometry();
    EXPECT_EQ(box.left(), 23);
    EXPECT_EQ(box.width(), 360 - 46);
    EXPECT_EQ(box.height(), 200);
    EXPECT_EQ(editor_->placeholderLabel()->pos(), box.topLeft() + QPoint(7, 5));
    const QRect sure = editor_->sureButton()->geometry();
    EXPECT_EQ(sure.size(), QSize(85, 35));
    EXPECT_EQ(sure.top(), box.bottom() + 1 + 16);
    EXPECT_EQ(sure.right() + 1, 360 - 23);
    const QRect cancel = editor_->cancelButton()->geometry();
    EXPECT_EQ(cancel.right() + 1 + 11, sure.left());
    EXPECT_EQ(cancel.center().y(), sure.center().y());
}

}  // namespace
}  // namespace pex
