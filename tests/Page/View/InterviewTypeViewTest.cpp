// The interview-type card: one selection among three tiles, "确定" hands it over only when
// there is one, and both buttons close the pop-up.
#include "Page/View/InterviewTypeView.h"

#include <gtest/gtest.h>
#include <QMainWindow>
#include <QPointer>

#include "Tools/PopView/MYCenterPopView.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/AnimationFrames.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

class InterviewTypeViewTest : public ::testing::Test {
  protected:
    InterviewTypeViewTest() : keyWindow_(&window_) {
        window_.setCentralWidget(new QWidget);
        window_.resize(750, 500);
        window_.show();
    }
    InterviewTypeView* showCard() {
        auto* card = new InterviewTypeView;
        card->resize(400, 430);
        overlay_ = MYCenterPopView::showInKeyWindow(card);
        advance();
        return card;
    }
    void advance() { test::advanceInFrames(clock_.clock(), std::chrono::milliseconds(300)); }
    static std::vector<bool> marked(InterviewTypeView* card) {
        std::vector<bool> result;
        for (int type = 1; type <= 3; ++type) {
            result.push_back(card->tile(type)->borderWidth() == 1 &&
                             card->tile(type)->selectImageView()->isVisible());
        }
        return result;
    }

    ScopedManualClock clock_;
    QMainWindow window_;
    ScopedKeyWindow keyWindow_;
    QPointer<MYCenterPopView> overlay_;
};

TEST_F(InterviewTypeViewTest, TheLastClickedTileIsTheOneConfirmed) {
    InterviewTypeView* card = showCard();
    std::vector<int> chosen;
    card->selectInterviewBlock = [&](int type) { chosen.push_back(type); };
    EXPECT_EQ(marked(card), (std::vector<bool>{false, false, false}));
    test::click(card->tile(2));
    test::click(card->tile(1));
    test::click(card->tile(1));  // clicking the chosen tile keeps it chosen
    EXPECT_EQ(marked(card), (std::vector<bool>{true, false, false}));
    test::click(card->sureButton());
    EXPECT_EQ(chosen, std::vector<int>{1});
    advance();
    EXPECT_FALSE(overlay_);
}

TEST_F(InterviewTypeViewTest, ConfirmWithoutASelectionAndSkipOnlyClose) {
    int calls = 0;
    InterviewTypeView* card = showCard();
    card->selectInterviewBlock = [&](int) { ++calls; };
    test::click(card->sureButton());
    advance();
    EXPECT_FALSE(overlay_);

    card = showCard();
    card->selectInterviewBlock = [&](int) { ++calls; };
    test::click(card->tile(3));
    test::click(card->skipButton());
    advance();
    EXPECT_FALSE(overlay_);
    EXPECT_EQ(calls, 0);
}

TEST_F(InterviewTypeViewTest, TilesShowTheirOptionsAndTheThirdTitleSitsLower) {
    InterviewTypeView* card = showCard();
    const QStringList titles = {QStringLiteral("国内面试AI"), QStringLiteral("国外面试AI"),
                                QStringLiteral("都可能涉及")};
    for (int type = 1; type <= 3; ++type) {
        InterviewContentView* tile = card->tile(type);
        EXPECT_EQ(tile->titleLabel()->text(), titles[type - 1]);
        EXPECT_FALSE(tile->imageView()->image().isNull()) << type;
        EXPECT_EQ(tile->titleLabel()->y(), type == 3 ? 26 : 17);
        EXPECT_EQ(tile->height(), 72);
    }
    EXPECT_EQ(card->tile(1)->subtitleLabel()->text(), QStringLiteral("适用于国内校招、公司、机构"));
    EXPECT_TRUE(card->tile(3)->subtitleLabel()->text().isEmpty());
    EXPECT_EQ(card->skipButton()->width(), static_cast<int>(card->tile(1)->width() * 0.48));
    EXPECT_EQ(card->sureButton()->geometry().right(), card->tile(3)->geometry().right());
}

}  // namespace
}  // namespace pex
