// Refreshing one row of the painted-cell table: a row redrawn alone asks for its cell again
// without reloading the table; a row whose height changed moves the rows below it, with the
// heights the data source looks up.
#include <QAbstractItemModel>
#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <vector>

#include <gtest/gtest.h>

#include "platform/appkit/TableCellView.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TableViewDataSource.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

class PlainCell : public TableCellView {
  public:
    int heightForWidth(int) override { return 10; }
    void draw(QPainter& painter, const QRect& bounds) override {
        painter.fillRect(bounds, Qt::darkGreen);
    }
};

// Heights kept by the source, as the session window keeps its rows' heights.
class KeptHeights : public TableViewDataSource {
  public:
    std::vector<int> heights;
    std::vector<int> cellsAsked;
    int heightLookups = 0;

    int numberOfRowsInTableView(TableView&) override { return static_cast<int>(heights.size()); }
    TableCellView* viewForRow(TableView& table, int row) override {
        cellsAsked.push_back(row);
        TableCellView* cell = table.makeViewWithIdentifier(QStringLiteral("plain"));
        if (!cell) {
            auto made = std::make_unique<PlainCell>();
            made->setIdentifier(QStringLiteral("plain"));
            cell = table.adoptView(std::move(made));
        }
        return cell;
    }
    std::optional<int> heightOfRow(TableView&, int row, int) override {
        ++heightLookups;
        return heights[static_cast<std::size_t>(row)];
    }
};

TEST(TableViewRowRefresh, ARowRedrawnAloneAsksForItsCellWithoutAReload) {
    QWidget window;
    window.resize(200, 300);
    KeptHeights rows;
    rows.heights.assign(200, 40);
    auto* table = new TableView(&window);
    table->setGeometry(window.rect());
    table->setDataSource(&rows);
    window.show();
    ASSERT_TRUE(runMainUntil([&] { return table->rectOfRow(2).height() == 40; }));
    int resets = 0;
    QObject::connect(table->model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    rows.cellsAsked.clear();
    rows.heightLookups = 0;

    table->reloadRow(1);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(rows.cellsAsked, std::vector<int>{1});  // drawn again, alone
    EXPECT_LE(rows.heightLookups, 4);  // the row's own rectangle; the rows are not placed again
    EXPECT_EQ(resets, 0);

    // Part of a row: only that part is drawn again (the row's cell, once).
    rows.cellsAsked.clear();
    table->reloadRow(2, QRect(0, 30, 200, 10));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(rows.cellsAsked, std::vector<int>{2});
    // Rows that do not exist are ignored.
    table->reloadRow(3);
    table->reloadRow(-1);
    table->noteHeightOfRowChanged(3);
}

TEST(TableViewRowRefresh, AChangedHeightMovesTheRowsBelowIt) {
    QWidget window;
    window.resize(200, 300);
    KeptHeights rows;
    rows.heights = {40, 40, 40};
    auto* table = new TableView(&window);
    table->setLayoutMode(QListView::SinglePass);
    table->setGeometry(window.rect());
    table->setDataSource(&rows);
    window.show();
    ASSERT_TRUE(runMainUntil([&] { return table->rectOfRow(2).height() == 40; }));
    int resets = 0;
    QObject::connect(table->model(), &QAbstractItemModel::modelReset, [&] { ++resets; });

    rows.heights[1] = 75;
    table->noteHeightOfRowChanged(1);
    EXPECT_EQ(table->rectOfRow(1).height(), 75);  // at once
    EXPECT_EQ(table->rectOfRow(2).top(), table->rectOfRow(1).bottom() + 1);
    EXPECT_EQ(resets, 0);
}

}  // namespace
}  // namespace pex::test
