#pragma once
// A one-column table of painted cells (TableCellView) without header, selection highlight or
// focus ring, on a clear background, scrolling vertically. Row heights are the cells' own
// (heightForWidth at the table's width). A click is handed to the cell of the row under it;
// the table keeps every mouse press and release, so clicks never reach the views behind it.
#include <QListView>
#include <QString>
#include <map>
#include <memory>

namespace pex {

class TableCellView;
class TableViewDataSource;

class TableView : public QListView {
    Q_OBJECT
  public:
    explicit TableView(QWidget* parent = nullptr);
    ~TableView() override;

    // The data source is not owned and must outlive the table (its owner holds both).
    void setDataSource(TableViewDataSource* dataSource);
    TableViewDataSource* dataSource() const { return dataSource_; }

    // Asks the data source for the rows again and redraws them all.
    void reloadData();
    // Rows before `first` are as they were; the data source is asked for the number of rows
    // again, and the rows from `first` on are measured, placed and drawn, at once.
    virtual void reloadRowsFrom(int first);
    // Redraws `row` alone, its cell asked of the data source again; with `part` (in the row's
    // coordinates) only that part of it.
    void reloadRow(int row, const QRect& part = QRect());
    // The height of `row` changed: the rows are placed again from their heights (which the
    // data source looks up; no row is measured) and drawn.
    virtual void noteHeightOfRowChanged(int row);
    int numberOfRows() const;

    // The reusable cell kept under `identifier`, or none yet.
    TableCellView* makeViewWithIdentifier(const QString& identifier) const;
    // Keeps `cell` for reuse under its identifier (replacing an earlier one) and answers it.
    TableCellView* adoptView(std::unique_ptr<TableCellView> cell);

    // The rectangle of `row` in the viewport's coordinates (empty when there is no such row).
    QRect rectOfRow(int row) const;

  protected:
    // Asks the data source for the number of rows, telling the view of rows added or removed
    // at the end (no reset: the rows kept stay as they are).
    void reloadNumberOfRows();
    // The height of `row` at `width`: the data source's, or else its cell's measure.
    int measuredHeightOfRow(int row, int width);

    // A tool tip is the cell's (TableCellView::toolTipAt), shown as plain text.
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    class Model;
    class Delegate;

    TableViewDataSource* dataSource_ = nullptr;
    Model* model_;
    std::map<QString, std::unique_ptr<TableCellView>> reusable_;
};

}  // namespace pex
