// The painted-cell table: row heights come from the cells, one reusable cell serves every row,
// and a click reaches the cell of the row under it, in that cell's coordinates.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <vector>

#include <gtest/gtest.h>

#include "platform/appkit/TableCellView.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TableViewDataSource.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

class BarCell : public TableCellView {
  public:
    int height = 0;
    int row = -1;
    std::vector<std::pair<int, QPoint>>* clicks = nullptr;

    int heightForWidth(int) override { return height; }
    void draw(QPainter& painter, const QRect& bounds) override {
        painter.fillRect(bounds, Qt::blue);
    }
    void mouseClicked(QPoint point, QSize size) override {
        EXPECT_EQ(size.height(), height);
        clicks->emplace_back(row, point);
    }
};

class Rows : public TableViewDataSource {
  public:
    std::vector<int> heights;
    std::vector<std::pair<int, QPoint>> clicks;
    int cellsMade = 0;

    int numberOfRowsInTableView(TableView&) override { return static_cast<int>(heights.size()); }
    TableCellView* viewForRow(TableView& table, int row) override {
        auto* cell = static_cast<BarCell*>(table.makeViewWithIdentifier(QStringLiteral("bar")));
        if (!cell) {
            auto made = std::make_unique<BarCell>();
            made->setIdentifier(QStringLiteral("bar"));
            cell = static_cast<BarCell*>(table.adoptView(std::move(made)));
            ++cellsMade;
        }
        cell->height = heights[static_cast<std::size_t>(row)];
        cell->row = row;
        cell->clicks = &clicks;
        return cell;
    }
};

TEST(TableViewTest, RowsTakeTheirCellsHeightsAndClicksReachTheirCell) {
    ClickCountingView window;
    window.resize(300, 400);
    Rows rows;
    rows.heights = {30, 55, 20};
    auto* table = new TableView(&window);
    table->setGeometry(window.rect());
    table->setDataSource(&rows);
    window.show();
    ASSERT_EQ(table->numberOfRows(), 3);
    ASSERT_TRUE(runMainUntil([&] { return table->rectOfRow(2).height() == 20; }));
    EXPECT_EQ(table->rectOfRow(0), QRect(0, 0, 300, 30));
    EXPECT_EQ(table->rectOfRow(1), QRect(0, 30, 300, 55));
    EXPECT_EQ(table->rectOfRow(2).top(), 85);
    EXPECT_EQ(rows.cellsMade, 1);

    clickAt(&window, QPoint(40, 40));
    clickAt(&window, QPoint(7, 90));
    ASSERT_EQ(rows.clicks.size(), 2u);
    EXPECT_EQ(rows.clicks[0], std::make_pair(1, QPoint(40, 10)));
    EXPECT_EQ(rows.clicks[1], std::make_pair(2, QPoint(7, 5)));
    // Below the rows nothing is clicked, and nothing passes to the view behind the table.
    clickAt(&window, QPoint(10, 300));
    EXPECT_EQ(rows.clicks.size(), 2u);
    EXPECT_EQ(window.clicks, 0);

    rows.heights = {40};
    table->reloadData();
    EXPECT_EQ(table->numberOfRows(), 1);
    ASSERT_TRUE(runMainUntil([&] { return table->rectOfRow(0).height() == 40; }));
    EXPECT_TRUE(table->rectOfRow(1).isEmpty());
}

}  // namespace
}  // namespace pex::test
