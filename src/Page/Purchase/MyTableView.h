#pragma once
// The package list of the purchase page: one column of rows of a fixed height, each row a view
// that the data source makes or reuses, single selection. The table never draws a selection
// highlight (its highlight style always reads as none, whatever was set): the chosen row is
// shown by its own view. Reloading keeps the selection and reports nothing.
#include <QListWidget>
#include <functional>

namespace pex {

class MyTableView : public QListWidget {
    Q_OBJECT
  public:
    enum class SelectionHighlightStyle { none, regular };

    explicit MyTableView(QWidget* parent = nullptr);

    SelectionHighlightStyle selectionHighlightStyle() const {
        return SelectionHighlightStyle::none;
    }
    void setSelectionHighlightStyle(SelectionHighlightStyle style) { requestedStyle_ = style; }

    int rowHeight = 75;
    // The data source: the number of rows, and the view of a row given the row's current view
    // (none the first time), which it may reuse.
    std::function<int()> numberOfRows;
    std::function<QWidget*(int row, QWidget* reusable)> viewForRow;
    // The delegate: the selection changed through the user or selectRow.
    std::function<void()> selectionDidChange;

    void reloadData();
    // -1 when no row is selected.
    int selectedRow() const;
    // Selects `row`; -1 (or a row outside the table) clears the selection.
    void selectRow(int row);
    // The view of `row`, if the table has that row.
    QWidget* viewAtRow(int row) const;

  private:
    SelectionHighlightStyle requestedStyle_ = SelectionHighlightStyle::regular;
};

}  // namespace pex
