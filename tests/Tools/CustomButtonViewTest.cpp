// Selectable tiles and their single-choice group, clicked as a user would.
#include "Tools/CustomButtonView.h"

#include <gtest/gtest.h>

#include "Tools/AppImages.h"
#include "Tools/ExclusiveSelectionGroup.h"
#include "Tools/SystemColors.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using test::click;
using test::pixelAt;

QColor qcolor(const Color& color) {
    return color.toQColor();
}

class CustomButtonViewTest : public ::testing::Test {
  protected:
    CustomButtonViewTest() {
        host.resize(400, 100);
        host.setAutoFillBackground(true);
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, Qt::white);
        host.setPalette(palette);
        const QString titles[] = {QStringLiteral("14"), QStringLiteral("16"), QStringLiteral("18")};
        for (int i = 0; i < 3; ++i) {
            auto* tile = new CustomButtonView(&host);
            tile->setGeometry(10 + i * 130, 20, 110, 50);
            tile->setTitle(titles[i]);
            tile->setImage(AppImages::named(QStringLiteral("ai_select")));
            tiles.push_back(tile);
        }
        host.show();
    }

    std::shared_ptr<ExclusiveSelectionGroup> makeGroup(std::optional<int> initial) {
        auto group = std::make_shared<ExclusiveSelectionGroup>(initial);
        group->seletRowTapAction = [this](const QString& title) { reported.push_back(title); };
        group->setViews(tiles);
        return group;
    }

    // Which tiles show the chosen look, checking every part of that look.
    std::vector<bool> chosenLooks() const {
        std::vector<bool> looks;
        for (CustomButtonView* tile : tiles) {
            const bool chosen = tile->isSelected();
            EXPECT_EQ(tile->imageView()->isVisible(), chosen) << tile->title().toStdString();
            EXPECT_EQ(tile->borderWidth(), chosen ? 0 : 1) << tile->title().toStdString();
            looks.push_back(chosen);
        }
        return looks;
    }

    QWidget host;
    std::vector<CustomButtonView*> tiles;
    std::vector<QString> reported;
};

TEST_F(CustomButtonViewTest, InitialIndexChoosesThatTileQuietlyOnlyWhenItNamesOne) {
    struct Case {
        std::optional<int> initial;
        std::vector<bool> expected;
    };
    const Case cases[] = {
        {1, {false, true, false}},
        {0, {true, false, false}},
        {std::nullopt, {false, false, false}},
        {3, {false, false, false}},
        {7, {false, false, false}},
        {-1, {false, false, false}},
    };
    for (const Case& c : cases) {
        for (CustomButtonView* tile : tiles) tile->markSelected(false);
        reported.clear();
        auto group = makeGroup(c.initial);
        EXPECT_EQ(chosenLooks(), c.expected) << "initial " << c.initial.value_or(-99);
        EXPECT_TRUE(reported.empty());
    }
}

TEST_F(CustomButtonViewTest, ClickMovesTheChoiceAndReportsTheTitleEveryTime) {
    auto group = makeGroup(0);
    click(tiles[2]);
    EXPECT_EQ(chosenLooks(), (std::vector<bool>{false, false, true}));
    ASSERT_EQ(reported, (std::vector<QString>{QStringLiteral("18")}));

    // A second click on the chosen tile keeps it chosen and reports it again.
    click(tiles[2]);
    EXPECT_EQ(chosenLooks(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(reported, (std::vector<QString>{QStringLiteral("18"), QStringLiteral("18")}));

    // A click on the title label counts as a click on the tile.
    click(tiles[1]->titleLabel());
    EXPECT_EQ(chosenLooks(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(reported.back(), QStringLiteral("16"));
}

TEST_F(CustomButtonViewTest, ChosenTileIsFilledPaleGreenWithoutBorderOthersHaveAGreyBorder) {
    auto group = makeGroup(1);
    // Away from the title and the mark.
    EXPECT_EQ(pixelAt(tiles[1], QPoint(4, 25)), qcolor(CustomButtonView::selectedFillColor()));
    EXPECT_EQ(pixelAt(tiles[1], QPoint(55, 0)), qcolor(CustomButtonView::selectedFillColor()));
    EXPECT_EQ(pixelAt(tiles[0], QPoint(4, 25)), QColor(Qt::white));
    const QColor border = pixelAt(tiles[0], QPoint(55, 0));
    EXPECT_NE(border, QColor(Qt::white));
    EXPECT_NEAR(border.red(), qcolor(systemGrayColor()).red(), 40);
    EXPECT_EQ(tiles[0]->borderColor(), systemGrayColor());
}

TEST_F(CustomButtonViewTest, TileWithoutTitleReportsButton) {
    auto* plain = new CustomButtonView(&host);
    plain->setGeometry(10, 75, 80, 20);
    plain->show();
    tiles.push_back(plain);
    auto group = makeGroup(std::nullopt);
    EXPECT_EQ(plain->titleLabel()->text(), QStringLiteral("Button"));
    click(plain);
    EXPECT_EQ(reported, (std::vector<QString>{QStringLiteral("Button")}));
}

TEST_F(CustomButtonViewTest, TileOutlivingItsGroupIgnoresClicks) {
    auto group = makeGroup(std::nullopt);
    group.reset();
    click(tiles[0]);
    EXPECT_FALSE(tiles[0]->isSelected());
    EXPECT_TRUE(reported.empty());
}

TEST_F(CustomButtonViewTest, GroupSurvivesADeletedTile) {
    auto group = makeGroup(std::nullopt);
    delete tiles[0];
    tiles.erase(tiles.begin());
    click(tiles[1]);
    EXPECT_TRUE(tiles[1]->isSelected());
    EXPECT_EQ(reported, (std::vector<QString>{QStringLiteral("18")}));
}

}  // namespace
}  // namespace pex
