#include "platform/appkit/RowPositionTableView.h"

#include <QAbstractItemDelegate>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>

namespace pex {

RowPositionTableView::RowPositionTableView(QWidget* parent) : TableView(parent) {}

void RowPositionTableView::reloadRowsFrom(int first) {
    layOutIfPending();
    reloadNumberOfRows();
    placeRowsFrom(first);
    updateGeometries();
    viewport()->update();
}

void RowPositionTableView::noteHeightOfRowChanged(int row) {
    if (row < 0 || row >= numberOfRows()) return;
    reloadRowsFrom(row);
}

void RowPositionTableView::doItemsLayout() {
    placeRowsFrom(0);
    // The item view's own part (no list view layout): geometries, then a redraw.
    QAbstractItemView::doItemsLayout();
}

void RowPositionTableView::placeRowsFrom(int first) {
    const int width = viewport()->width();
    const int rows = numberOfRows();
    const int placed = static_cast<int>(tops_.size());
    if (width != placedWidth_) first = 0;
    first = std::clamp(first, 0, std::min(rows, placed));
    tops_.resize(static_cast<std::size_t>(rows));
    heights_.resize(static_cast<std::size_t>(rows));
    const int gap = 2 * spacing();
    for (int row = first; row < rows; ++row) {
        const auto at = static_cast<std::size_t>(row);
        heights_[at] = measuredHeightOfRow(row, width);
        tops_[at] = row == 0 ? spacing() : tops_[at - 1] + heights_[at - 1] + gap;
    }
    placedWidth_ = width;
}

int RowPositionTableView::contentHeight() const {
    if (tops_.empty()) return 0;
    return tops_.back() + heights_.back() + spacing();
}

int RowPositionTableView::firstRowBelow(int y) const {
    // Row bottoms grow with the row: a binary search for the first one past `y`.
    int low = 0;
    int high = static_cast<int>(tops_.size());
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const auto at = static_cast<std::size_t>(middle);
        if (tops_[at] + heights_[at] <= y) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

void RowPositionTableView::layOutIfPending() const {
    // As a list view does before it answers a place: a reload's layout may still be waiting.
    const_cast<RowPositionTableView*>(this)->executeDelayedItemsLayout();
}

QRect RowPositionTableView::visualRect(const QModelIndex& index) const {
    layOutIfPending();
    if (!index.isValid() || index.row() >= static_cast<int>(tops_.size())) return {};
    const auto at = static_cast<std::size_t>(index.row());
    return QRect(spacing() - horizontalOffset(), tops_[at] - verticalOffset(), viewport()->width(),
                 heights_[at]);
}

QModelIndex RowPositionTableView::indexAt(const QPoint& point) const {
    layOutIfPending();
    const int row = firstRowBelow(point.y() + verticalOffset());
    if (row >= static_cast<int>(tops_.size()) || row >= numberOfRows()) return {};
    const QModelIndex index = model()->index(row, 0, rootIndex());
    return visualRect(index).contains(point) ? index : QModelIndex();
}

void RowPositionTableView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    const QRect rect = visualRect(index);
    if (rect.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const int top = rect.top() + bar->value();
    const int viewHeight = viewport()->height();
    switch (hint) {
        case PositionAtTop:
            bar->setValue(top);
            break;
        case PositionAtBottom:
            bar->setValue(top + rect.height() - viewHeight);
            break;
        case PositionAtCenter:
            bar->setValue(top + rect.height() / 2 - viewHeight / 2);
            break;
        case EnsureVisible:
            if (rect.top() < 0) {
                bar->setValue(top);
            } else if (rect.bottom() >= viewHeight) {
                bar->setValue(top + rect.height() - viewHeight);
            }
            break;
    }
}

void RowPositionTableView::updateGeometries() {
    QScrollBar* bar = verticalScrollBar();
    const int viewHeight = viewport()->height();
    bar->setRange(0, std::max(0, contentHeight() - viewHeight));
    bar->setPageStep(viewHeight);
    bar->setSingleStep(heights_.empty() ? 20 : heights_.front() + spacing());
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

void RowPositionTableView::paintEvent(QPaintEvent* event) {
    layOutIfPending();
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int offset = verticalOffset();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    // Drawn narrower than the row's rectangle by its spacing, as a list view draws its rows.
    const int drawnWidth = std::max(0, viewport()->width() - 2 * spacing());
    const int rows = std::min(static_cast<int>(tops_.size()), numberOfRows());
    for (int row = firstRowBelow(area.top() + offset);
         row < rows && tops_[static_cast<std::size_t>(row)] - offset <= area.bottom(); ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = visualRect(index);
        option.rect.setWidth(drawnWidth);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void RowPositionTableView::resizeEvent(QResizeEvent* event) {
    QAbstractItemView::resizeEvent(event);  // the scroll range for the new height
    // Another width measures every row again, once, after whoever keeps the heights has
    // heard of it.
    if (viewport()->width() != placedWidth_) scheduleDelayedItemsLayout();
}

void RowPositionTableView::scrollContentsBy(int dx, int dy) {
    viewport()->scroll(dx, dy);
}

void RowPositionTableView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
}

void RowPositionTableView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
}

QModelIndex RowPositionTableView::moveCursor(CursorAction, Qt::KeyboardModifiers) {
    return {};  // no current row: the table takes no focus
}

int RowPositionTableView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int RowPositionTableView::verticalOffset() const {
    return verticalScrollBar()->value();
}

QSize RowPositionTableView::viewportSizeHint() const {
    return QSize(viewport()->width(), contentHeight());
}

}  // namespace pex
