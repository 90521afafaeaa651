#pragma once
// A table cell that the table draws and measures instead of keeping a widget per row: the
// table's data source fills one cell for a row, then the table asks it for the row's height
// at the table's width, draws it, or hands it a click. Cells are reused from row to row under
// their identifier.
#include <QRect>
#include <QString>

class QPainter;

namespace pex {

class TableCellView {
  public:
    virtual ~TableCellView() = default;

    const QString& identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier) { identifier_ = identifier; }

    // Places the cell's parts for a cell `width` wide and answers the height they need.
    virtual int heightForWidth(int width) = 0;
    // Draws the cell into `bounds` (laying it out for that width first).
    virtual void draw(QPainter& painter, const QRect& bounds) = 0;
    // A left click let go at `point`, in the coordinates of a cell of `size`. Nothing by default.
    virtual void mouseClicked(QPoint point, QSize size);
    // The plain text shown while the pointer rests at `point` of a cell of `size`; none by
    // default.
    virtual QString toolTipAt(QPoint point, QSize size);

  private:
    QString identifier_;
};

}  // namespace pex
