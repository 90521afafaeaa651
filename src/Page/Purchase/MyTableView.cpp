#include "Page/Purchase/MyTableView.h"

#include <QSignalBlocker>

namespace pex {

MyTableView::MyTableView(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // No highlight of any kind behind a row.
    setStyleSheet(
        QStringLiteral("QListWidget::item:selected, QListWidget::item:hover,"
                       " QListWidget::item { background: transparent; border: none; }"));
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (const auto callback = selectionDidChange) callback();
    });
}

void MyTableView::reloadData() {
    const QSignalBlocker quiet(this);
    const int rows = numberOfRows ? std::max(0, numberOfRows()) : 0;
    while (count() > rows) delete takeItem(count() - 1);
    while (count() < rows) addItem(new QListWidgetItem);
    for (int row = 0; row < rows; ++row) {
        QListWidgetItem* entry = item(row);
        entry->setSizeHint(QSize(0, rowHeight));
        QWidget* current = itemWidget(entry);
        QWidget* view = viewForRow ? viewForRow(row, current) : nullptr;
        if (view && view != current) setItemWidget(entry, view);
    }
}

int MyTableView::selectedRow() const {
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

void MyTableView::selectRow(int row) {
    if (row < 0 || row >= count()) {
        clearSelection();
        return;
    }
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

QWidget* MyTableView::viewAtRow(int row) const {
    QListWidgetItem* entry = item(row);
    return entry ? itemWidget(entry) : nullptr;
}

}  // namespace pex
