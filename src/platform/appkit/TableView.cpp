#include "platform/appkit/TableView.h"

#include <QAbstractListModel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "platform/appkit/TableCellView.h"
#include "platform/appkit/TableViewDataSource.h"

namespace pex {

// Rows only: what a row shows comes from the data source's cell.
class TableView::Model : public QAbstractListModel {
  public:
    explicit Model(TableView& table) : QAbstractListModel(&table), table_(table) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : rows_; }
    QVariant data(const QModelIndex&, int) const override { return {}; }

    void reload() {
        beginResetModel();
        rows_ = askedRows();
        endResetModel();
    }

    void reloadRowCount() {
        const int rows = askedRows();
        if (rows > rows_) {
            beginInsertRows(QModelIndex(), rows_, rows - 1);
            rows_ = rows;
            endInsertRows();
        } else if (rows < rows_) {
            beginRemoveRows(QModelIndex(), rows, rows_ - 1);
            rows_ = rows;
            endRemoveRows();
        }
    }

  private:
    int askedRows() const {
        return table_.dataSource_ ? std::max(0, table_.dataSource_->numberOfRowsInTableView(table_))
                                  : 0;
    }

    TableView& table_;
    int rows_ = 0;
};

class TableView::Delegate : public QStyledItemDelegate {
  public:
    explicit Delegate(TableView& table) : QStyledItemDelegate(&table), table_(table) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        TableCellView* cell = cellFor(index.row());
        if (!cell) return;
        painter->save();
        painter->setClipRect(option.rect);
        cell->draw(*painter, option.rect);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int width = table_.viewport()->width();
        return QSize(width, table_.measuredHeightOfRow(index.row(), width));
    }

  private:
    TableCellView* cellFor(int row) const {
        if (!table_.dataSource_ || row < 0) return nullptr;
        return table_.dataSource_->viewForRow(table_, row);
    }

    TableView& table_;
};

TableView::TableView(QWidget* parent) : QListView(parent), model_(new Model(*this)) {
    setModel(model_);
    setItemDelegate(new Delegate(*this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setResizeMode(QListView::Adjust);
    // Rows are measured a batch at a time between events, so a long list never blocks the UI.
    setLayoutMode(QListView::Batched);
    setBatchSize(200);
    setMouseTracking(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
}

TableView::~TableView() = default;

void TableView::setDataSource(TableViewDataSource* dataSource) {
    dataSource_ = dataSource;
    reloadData();
}

void TableView::reloadData() {
    model_->reload();
}

void TableView::reloadRowsFrom(int) {
    reloadData();
    doItemsLayout();
}

void TableView::reloadNumberOfRows() {
    model_->reloadRowCount();
}

int TableView::measuredHeightOfRow(int row, int width) {
    if (!dataSource_ || row < 0) return 1;
    if (const auto height = dataSource_->heightOfRow(*this, row, width)) {
        return std::max(1, *height);
    }
    TableCellView* cell = dataSource_->viewForRow(*this, row);
    return cell ? std::max(1, cell->heightForWidth(width)) : 1;
}

void TableView::reloadRow(int row, const QRect& part) {
    if (row < 0 || row >= numberOfRows()) return;
    // The row's area is drawn again, which asks the data source for its cell. (A model's
    // dataChanged would make the list view place every row again.)
    const QRect rect = rectOfRow(row);
    viewport()->update(part.isValid() ? part.translated(rect.topLeft()).intersected(rect) : rect);
}

void TableView::noteHeightOfRowChanged(int row) {
    if (row >= 0 && row < numberOfRows()) doItemsLayout();
}

int TableView::numberOfRows() const {
    return model_->rowCount(QModelIndex());
}

TableCellView* TableView::makeViewWithIdentifier(const QString& identifier) const {
    const auto found = reusable_.find(identifier);
    return found == reusable_.end() ? nullptr : found->second.get();
}

TableCellView* TableView::adoptView(std::unique_ptr<TableCellView> cell) {
    TableCellView* kept = cell.get();
    reusable_[cell->identifier()] = std::move(cell);
    return kept;
}

QRect TableView::rectOfRow(int row) const {
    if (row < 0 || row >= numberOfRows()) return {};
    return visualRect(model_->index(row, 0));
}

bool TableView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QListView::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    TableCellView* cell =
        index.isValid() && dataSource_ ? dataSource_->viewForRow(*this, index.row()) : nullptr;
    const QRect rect = index.isValid() ? visualRect(index) : QRect();
    const QString text =
        cell ? cell->toolTipAt(help->pos() - rect.topLeft(), rect.size()) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // Escaped and wrapped in a paragraph: the tip shows the text itself, markup included,
    // and wraps a long one instead of running off the screen.
    QToolTip::showText(
        help->globalPos(),
        QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped()),
        viewport(), rect);
    return true;
}

void TableView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TableView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !dataSource_) return;
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    if (!index.isValid()) return;
    const QRect rect = visualRect(index);
    TableCellView* cell = dataSource_->viewForRow(*this, index.row());
    if (cell) cell->mouseClicked(at - rect.topLeft(), rect.size());
}

void TableView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void TableView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace pex
