// The table that keeps its rows' places: rows where a list view with the same spacing puts
// them, and a change at the end (rows appended, the last row grown) looks up the heights of
// the rows from there on alone, whatever the number of rows above.
#include <QAbstractItemModel>
#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QWidget>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "platform/appkit/RowPositionTableView.h"
#include "platform/appkit/TableCellView.h"
#include "platform/appkit/TableViewDataSource.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

class RecordingCell : public TableCellView {
  public:
    std::vector<QRect>* drawn = nullptr;
    int heightForWidth(int) override { return 10; }
    void draw(QPainter& painter, const QRect& bounds) override {
        drawn->push_back(bounds);
        painter.fillRect(bounds, Qt::darkGreen);
    }
};

class KeptHeights : public TableViewDataSource {
  public:
    std::vector<int> heights;
    std::set<int> heightsAsked;
    std::vector<int> widthsAsked;
    std::vector<QRect> drawn;

    int numberOfRowsInTableView(TableView&) override { return static_cast<int>(heights.size()); }
    TableCellView* viewForRow(TableView& table, int) override {
        auto* cell = static_cast<RecordingCell*>(table.makeViewWithIdentifier("recording"));
        if (!cell) {
            auto made = std::make_unique<RecordingCell>();
            made->setIdentifier(QStringLiteral("recording"));
            cell = static_cast<RecordingCell*>(table.adoptView(std::move(made)));
        }
        cell->drawn = &drawn;
        return cell;
    }
    std::optional<int> heightOfRow(TableView&, int row, int width) override {
        heightsAsked.insert(row);
        widthsAsked.push_back(width);
        return heights[static_cast<std::size_t>(row)];
    }
};

class RowPositionTable : public ::testing::Test {
  protected:
    RowPositionTable() {
        window_.resize(300, 100);
        table_ = new RowPositionTableView(&window_);
        table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table_->setSpacing(4);
        table_->setGeometry(window_.rect());
        rows_.heights = {30, 55, 20, 40, 40};
        table_->setDataSource(&rows_);
        window_.show();
        EXPECT_TRUE(runMainUntil([&] { return table_->rectOfRow(4).height() == 40; }));
        QObject::connect(table_->model(), &QAbstractItemModel::modelReset, [this] { ++resets_; });
    }

    QWidget window_;
    RowPositionTableView* table_;
    KeptHeights rows_;
    int resets_ = 0;
};

TEST_F(RowPositionTable, RowsSitSpacingApartAndAreDrawnInsideTheirSpacing) {
    // Each row has its spacing (4) around it: 8 points between rows.
    EXPECT_EQ(table_->rectOfRow(0), QRect(4, 4, 300, 30));
    EXPECT_EQ(table_->rectOfRow(1), QRect(4, 42, 300, 55));
    EXPECT_EQ(table_->rectOfRow(4), QRect(4, 181, 300, 40));
    EXPECT_TRUE(table_->rectOfRow(5).isEmpty());
    QScrollBar* bar = table_->verticalScrollBar();
    EXPECT_EQ(bar->maximum(), 225 - 100);  // the last row's bottom and its spacing
    EXPECT_EQ(bar->pageStep(), 100);

    bar->setValue(bar->maximum());
    EXPECT_EQ(table_->rectOfRow(3), QRect(4, 8, 300, 40));
    // Rows under points, none in the gaps between rows or left of the rows.
    const struct {
        QPoint at;
        int row;
    } cases[] = {{{10, 0}, -1}, {{10, 7}, -1}, {{10, 8}, 3},   {{10, 47}, 3}, {{10, 48}, -1},
                 {{10, 56}, 4}, {{10, 95}, 4}, {{10, 96}, -1}, {{2, 20}, -1}};
    for (const auto& c : cases) EXPECT_EQ(table_->indexAt(c.at).row(), c.row) << c.at.y();

    rows_.drawn.clear();
    (void)window_.grab();
    // The rows in view alone, as wide as the view less the spacing on both sides.
    EXPECT_EQ(rows_.drawn, (std::vector<QRect>{{4, 8, 292, 40}, {4, 56, 292, 40}}));
}

TEST_F(RowPositionTable, AChangeAtTheEndLooksUpTheRowsFromThereOnAlone) {
    // Two rows appended, the last one changing too: the rows above are not looked up.
    rows_.heightsAsked.clear();
    rows_.heights[4] = 60;
    rows_.heights.push_back(25);
    rows_.heights.push_back(35);
    table_->reloadRowsFrom(4);
    EXPECT_EQ(rows_.heightsAsked, (std::set<int>{4, 5, 6}));
    EXPECT_EQ(table_->numberOfRows(), 7);
    EXPECT_EQ(table_->rectOfRow(4), QRect(4, 181, 300, 60));
    EXPECT_EQ(table_->rectOfRow(5), QRect(4, 249, 300, 25));
    EXPECT_EQ(table_->rectOfRow(6), QRect(4, 282, 300, 35));
    EXPECT_EQ(table_->verticalScrollBar()->maximum(), 321 - 100);

    // The last row grows: that row alone.
    rows_.heightsAsked.clear();
    rows_.heights[6] = 50;
    table_->noteHeightOfRowChanged(6);
    EXPECT_EQ(rows_.heightsAsked, (std::set<int>{6}));
    EXPECT_EQ(table_->rectOfRow(6).height(), 50);

    // Rows taken away at the end.
    rows_.heights.resize(2);
    table_->reloadRowsFrom(2);
    EXPECT_EQ(table_->numberOfRows(), 2);
    EXPECT_TRUE(table_->rectOfRow(2).isEmpty());
    EXPECT_EQ(table_->verticalScrollBar()->maximum(), 101 - 100);
    EXPECT_EQ(resets_, 0);  // never a reset: the rows kept stay as they are
}

TEST_F(RowPositionTable, AnotherWidthOrAReloadLooksUpEveryRowAgain) {
    const struct {
        const char* name;
        std::function<void()> change;
        int width;
    } cases[] = {
        {"narrower", [&] { table_->resize(240, 100); }, 240},
        {"rows from the end, but at another width",
         [&] {
             table_->resize(260, 100);
             table_->reloadRowsFrom(4);
         },
         260},
        {"a reload", [&] { table_->reloadData(); }, 260},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rows_.heightsAsked.clear();
        rows_.widthsAsked.clear();
        c.change();
        ASSERT_TRUE(runMainUntil([&] { return rows_.heightsAsked.size() == 5; }));
        EXPECT_EQ(rows_.widthsAsked.back(), c.width);
        EXPECT_EQ(table_->rectOfRow(4), QRect(4, 181, c.width, 40));
    }
}

}  // namespace
}  // namespace pex::test
