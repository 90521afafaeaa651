// Channel buttons and their group: the selected and plain looks, the latency subtitle and its
// colour, the choice reported by title and index, and what happens to buttons that are not
// (or no longer) members.
#include "Page/View/ChannelSelectionGroup.h"

#include <gtest/gtest.h>

#include "Tools/AppImages.h"
#include "Tools/SystemColors.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using test::click;
using test::pixelAt;

class ChannelSelectionGroupTest : public ::testing::Test {
  protected:
    ChannelSelectionGroupTest() {
        list.resize(420, 80);
        list.setAutoFillBackground(true);
        QPalette palette = list.palette();
        palette.setColor(QPalette::Window, Qt::white);
        list.setPalette(palette);
        const char* names[] = {"自动线路", "香港线路", "美国线路"};
        for (int i = 0; i < 3; ++i) {
            auto* button = new ChannelButtonView(&list);
            button->setGeometry(10 + i * 135, 15, 125, 50);
            button->setTitle(QString::fromUtf8(names[i]));
            button->setImage(AppImages::named(QStringLiteral("ai_select")));
            button->setSubTitle(QStringLiteral("测速中"));
            button->setSubTitleColor(systemGrayColor());
            buttons.push_back(button);
        }
        list.show();
    }

    std::shared_ptr<ChannelSelectionGroup> makeGroup(std::optional<int> initial) {
        auto group = std::make_shared<ChannelSelectionGroup>(initial);
        group->configure(buttons);
        group->seletRowTapAction = [this](const QString& title) { titles.push_back(title); };
        group->seletIndexTapAction = [this](int index) { indexes.push_back(index); };
        return group;
    }

    std::vector<bool> selectedLooks() const {
        std::vector<bool> looks;
        for (ChannelButtonView* button : buttons) {
            const bool selected = button->isSelected();
            EXPECT_EQ(button->imageView()->isVisible(), selected);
            EXPECT_EQ(button->borderWidth(), selected ? 0 : 1);
            looks.push_back(selected);
        }
        return looks;
    }

    QWidget list;
    std::vector<ChannelButtonView*> buttons;
    std::vector<QString> titles;
    std::vector<int> indexes;
};

TEST_F(ChannelSelectionGroupTest, ConfigureMarksTheInitialMemberOnlyForAnIndexInRange) {
    struct Case {
        std::optional<int> initial;
        std::vector<bool> expected;
    };
    const Case cases[] = {
        {1, {false, true, false}},
        {2, {false, false, true}},
        {3, {false, false, false}},
        {-1, {false, false, false}},
        {std::nullopt, {false, false, false}},
    };
    for (const Case& c : cases) {
        for (ChannelButtonView* button : buttons) button->markSelected(false);
        auto group = makeGroup(c.initial);
        EXPECT_EQ(selectedLooks(), c.expected) << "initial " << c.initial.value_or(-99);
        EXPECT_TRUE(titles.empty());
        EXPECT_TRUE(indexes.empty());
    }
}

TEST_F(ChannelSelectionGroupTest, SelectedLookIsThePaleFillWithoutBorder) {
    auto group = makeGroup(1);
    const QColor fill = ChannelButtonView::selectedFillColor().toQColor();
    EXPECT_EQ(fill, QColor(0xD6, 0xF2, 0xEC));
    EXPECT_EQ(pixelAt(buttons[1], QPoint(3, 46)), fill);
    EXPECT_EQ(pixelAt(buttons[1], QPoint(60, 0)), fill);
    EXPECT_EQ(pixelAt(buttons[0], QPoint(3, 46)), QColor(Qt::white));
    EXPECT_NE(pixelAt(buttons[0], QPoint(60, 0)), QColor(Qt::white));  // the grey border
    EXPECT_EQ(buttons[0]->borderColor(), systemGrayColor());
}

TEST_F(ChannelSelectionGroupTest, ClickMovesTheSelectionAndReportsTitleAndIndex) {
    auto group = makeGroup(1);
    click(buttons[2]);
    EXPECT_EQ(selectedLooks(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(indexes, (std::vector<int>{2}));
    EXPECT_EQ(titles, (std::vector<QString>{QStringLiteral("美国线路")}));

    // A click on the latency text is a click on the button; the selected one reports again.
    click(buttons[2]->subLabel());
    click(buttons[0]);
    EXPECT_EQ(indexes, (std::vector<int>{2, 2, 0}));
    EXPECT_EQ(selectedLooks(), (std::vector<bool>{true, false, false}));
}

TEST_F(ChannelSelectionGroupTest, ClearRemovesTheButtonsAndAFormerMemberReportsNothing) {
    auto group = makeGroup(0);
    QPointer<ChannelButtonView> former = buttons[2];
    group->clear();
    EXPECT_TRUE(group->views().empty());
    ASSERT_TRUE(former);
    EXPECT_FALSE(former->isVisible());
    // Still clickable while it waits to be deleted: it must not be taken for line 0.
    former->viewTapped();
    group->select(former);
    EXPECT_TRUE(indexes.empty());
    EXPECT_TRUE(titles.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(former);
    buttons.clear();
}

TEST_F(ChannelSelectionGroupTest, SelectingAStrangerChangesNothing) {
    auto group = makeGroup(1);
    ChannelButtonView stranger;
    group->select(&stranger);
    EXPECT_FALSE(stranger.isSelected());
    EXPECT_EQ(selectedLooks(), (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(indexes.empty());
    EXPECT_TRUE(titles.empty());
}

TEST_F(ChannelSelectionGroupTest, MembersOutlivingTheGroupIgnoreClicks) {
    auto group = makeGroup(std::nullopt);
    group.reset();
    click(buttons[0]);
    EXPECT_FALSE(buttons[0]->isSelected());
    EXPECT_TRUE(indexes.empty());
}

TEST(ChannelButtonViewTest, SubtitleTextAndColourAndItsPlaceAfterTheName) {
    QWidget list;
    list.resize(200, 80);
    auto* button = new ChannelButtonView(&list);
    button->setGeometry(10, 10, 160, 50);
    list.show();
    EXPECT_EQ(button->title(), QStringLiteral("Button"));
    EXPECT_EQ(button->titleLabel()->text(), QStringLiteral("Button"));
    EXPECT_TRUE(button->subTitle().isEmpty());
    EXPECT_EQ(button->subTitleColor(), systemBlackColor());

    const Color red = Color::rgb(1, 0x4B / 255.0, 0x44 / 255.0);
    button->setTitle(QStringLiteral("香港线路"));
    button->updateSubtitle(QStringLiteral("86ms"), red);
    QCoreApplication::processEvents();
    EXPECT_EQ(button->subTitle(), QStringLiteral("86ms"));
    EXPECT_EQ(button->subLabel()->text(), QStringLiteral("86ms"));
    EXPECT_EQ(button->subTitleColor(), red);
    EXPECT_EQ(button->subLabel()->palette().color(QPalette::WindowText), red.toQColor());

    const QRect title = button->titleLabel()->geometry();
    const QRect sub = button->subLabel()->geometry();
    EXPECT_NEAR(title.center().x(), 80 - 15, 1);
    EXPECT_NEAR(title.center().y(), 25, 1);
    EXPECT_EQ(sub.left(), title.right() + 1 + ChannelButtonView::kSubtitleGap);
    EXPECT_NEAR(sub.center().y(), title.center().y() - 8, 1);
    EXPECT_EQ(button->imageView()->geometry(), QRect(144, 34, 16, 16));

    // As low as the line list makes it, the note stays inside the border.
    button->setGeometry(10, 10, 160, 33);
    QCoreApplication::processEvents();
    EXPECT_GE(button->subLabel()->geometry().top(), ChannelButtonView::kBorderClearance);
    EXPECT_LT(button->subLabel()->geometry().center().y(),
              button->titleLabel()->geometry().center().y());
}

}  // namespace
}  // namespace pex
