// The résumé card: clicks run the host's blocks, the delete button only its own, and the bound
// and cleared states move the main label between its two places.
#include "Page/View/UpdateResumeView.h"

#include <gtest/gtest.h>

#include "support/WidgetEvents.h"

namespace pex {
namespace {

class UpdateResumeViewTest : public ::testing::Test {
  protected:
    UpdateResumeViewTest() {
        card_.resize(350, 130);
        card_.show();
    }
    int labelCentreY() const { return card_.updateLabel()->geometry().center().y(); }

    UpdateResumeView card_;
};

TEST_F(UpdateResumeViewTest, ClicksRunTheBlocks) {
    test::click(&card_, QPoint(20, 20));  // without blocks: nothing happens
    int uploads = 0;
    int deletions = 0;
    card_.updateBlock = [&] { ++uploads; };
    card_.resumeDeleteBlock = [&] { ++deletions; };
    test::click(&card_, QPoint(20, 20));
    test::click(card_.title());  // the hint leaves the click to the card
    EXPECT_EQ(uploads, 2);
    card_.showResumeBound();
    test::click(card_.deleteButton());
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(uploads, 2);  // the delete button keeps its click
}

TEST_F(UpdateResumeViewTest, BoundAndClearedStates) {
    EXPECT_EQ(card_.updateLabel()->text(), QStringLiteral("上传简历"));
    EXPECT_FALSE(card_.deleteButton()->isVisible());
    const int built = labelCentreY();
    EXPECT_NEAR(built, 65 - 35, 1);

    card_.updateLabel()->setText(QStringLiteral("已选择文件：简历.pdf"));
    card_.title()->setText(QStringLiteral("其他"));
    card_.showResumeCleared();
    EXPECT_FALSE(card_.deleteButton()->isVisible());
    EXPECT_EQ(card_.updateLabel()->text(), QStringLiteral("上传简历"));
    EXPECT_EQ(card_.title()->text(), QString::fromUtf8(UpdateResumeView::kFormatHint));
    EXPECT_EQ(labelCentreY(), built + 24);

    card_.showResumeBound();
    EXPECT_TRUE(card_.deleteButton()->isVisible());
    EXPECT_EQ(labelCentreY(), built);
}

TEST_F(UpdateResumeViewTest, TheHintWrapsCentredWithin280Points) {
    const QRect hint = card_.title()->geometry();
    EXPECT_EQ(hint.width(), 280);
    EXPECT_EQ(hint.center().x(), card_.rect().center().x());
    EXPECT_GT(hint.height(), card_.title()->fontMetrics().height());  // more than one line
    EXPECT_EQ(hint.top(), card_.updateLabel()->geometry().bottom() + 1 + 11);
    const QRect icon = card_.icon()->geometry();
    EXPECT_EQ(icon.size(), QSize(18, 20));
    EXPECT_EQ(icon.right() + 1 + 4, card_.updateLabel()->x());
    EXPECT_EQ(card_.deleteButton()->geometry().top(), hint.bottom() + 1 + 7);
}

}  // namespace
}  // namespace pex
