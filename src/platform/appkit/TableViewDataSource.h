#pragma once
// What a table asks of whoever fills it: how many rows there are and the cell of a row.
#include <optional>

namespace pex {

class TableCellView;
class TableView;

class TableViewDataSource {
  public:
    virtual ~TableViewDataSource() = default;

    virtual int numberOfRowsInTableView(TableView& tableView) = 0;
    // The cell showing `row`, filled in. The table measures, draws or clicks it at once and
    // keeps no hold on it; a cell from tableView.makeViewWithIdentifier may be given again.
    virtual TableCellView* viewForRow(TableView& tableView, int row) = 0;
    // The height of `row` at the table's `width` when the source keeps its rows' heights
    // itself; none (the default) lets the row's cell measure itself.
    virtual std::optional<int> heightOfRow(TableView&, int /*row*/, int /*width*/) {
        return std::nullopt;
    }
};

}  // namespace pex
