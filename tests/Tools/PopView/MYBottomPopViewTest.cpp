// The bottom pop-up host: a click outside its content slides the content out below the
// bottom edge and takes the view away; a click on the content does nothing.
#include "Tools/PopView/MYBottomPopView.h"

#include <gtest/gtest.h>

#include "Tools/ViewHelpers.h"
#include "support/AnimationFrames.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

class MYBottomPopViewTest : public ::testing::Test {
  protected:
    MYBottomPopViewTest() {
        host.resize(400, 300);
        content = new QWidget;
        content->resize(400, 120);
        pop = new MYBottomPopView;
        pop->show(content, &host);
        host.show();
    }

    void advance(Clock::Duration by) { test::advanceInFrames(clock.clock(), by); }

    ScopedManualClock clock;
    QWidget host;
    QPointer<QWidget> content;
    QPointer<MYBottomPopView> pop;
};

TEST_F(MYBottomPopViewTest, ContentSitsOnTheBottomEdge) {
    EXPECT_EQ(pop->geometry(), host.rect());
    EXPECT_EQ(content->geometry(), QRect(0, 180, 400, 120));
    EXPECT_EQ(pop->contentView(), content.data());
}

TEST_F(MYBottomPopViewTest, ClickOnTheContentDoesNothing) {
    test::click(content);
    advance(std::chrono::milliseconds(300));
    ASSERT_TRUE(pop);
    EXPECT_FALSE(pop->isDismissing());
    EXPECT_EQ(content->y(), 180);
}

TEST_F(MYBottomPopViewTest, ClickOutsideSlidesTheContentOutAndRemovesTheView) {
    test::clickAt(&host, QPoint(200, 50));
    ASSERT_TRUE(pop->isDismissing());
    advance(std::chrono::milliseconds(128));
    EXPECT_GT(content->y(), 180);
    EXPECT_LT(content->y(), 300);
    EXPECT_LT(viewAlpha(content), 1);
    advance(std::chrono::milliseconds(200));
    EXPECT_FALSE(pop);
    EXPECT_FALSE(content);
}

TEST(MYBottomPopViewWithoutContentTest, DismissDoesNothing) {
    MYBottomPopView pop;
    pop.dismiss();
    EXPECT_FALSE(pop.isDismissing());
}

}  // namespace
}  // namespace pex
