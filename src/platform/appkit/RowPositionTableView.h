#pragma once
// A TableView that keeps the place of every row: its rows are laid out from their heights
// into a table of row tops, and a change at the end (a row appended, the last row grown)
// places only the rows from there on, however long the table is. Meant for data sources that
// keep their rows' heights (heightOfRow), as placing a row then measures nothing. The rows
// sit where a list view with the same spacing puts them: `spacing` around each row, so two
// rows are 2 × spacing apart.
#include <QModelIndex>
#include <vector>

#include "platform/appkit/TableView.h"

namespace pex {

class RowPositionTableView : public TableView {
    Q_OBJECT
  public:
    explicit RowPositionTableView(QWidget* parent = nullptr);

    void reloadRowsFrom(int first) override;
    // The rows from `row` on are placed again; those above it keep their places.
    void noteHeightOfRowChanged(int row) override;

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // Every row measured and placed again.
    void doItemsLayout() override;

  protected:
    void updateGeometries() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    // Rows added or removed at the end are placed by whoever changed them (reloadRowsFrom),
    // not by a layout of every row.
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    void setSelection(const QRect&, QItemSelectionModel::SelectionFlags) override {}
    QRegion visualRegionForSelection(const QItemSelection&) const override { return {}; }
    QSize viewportSizeHint() const override;

  private:
    // Measures and places the rows from `first` on (the rows before it as they are, unless the
    // width they were measured at has changed: then every row).
    void placeRowsFrom(int first);
    int contentHeight() const;
    // The first row whose rectangle ends below content coordinate `y` (holding `y`, or
    // below it); the number of rows when there is none.
    int firstRowBelow(int y) const;
    // A layout asked for but not run yet runs now, so that places answered are current.
    void layOutIfPending() const;

    std::vector<int> tops_;  // each row's top in the content, its spacing above included
    std::vector<int> heights_;
    int placedWidth_ = -1;
};

}  // namespace pex
