#include "platform/appkit/TableCellView.h"

namespace pex {

void TableCellView::mouseClicked(QPoint, QSize) {}

QString TableCellView::toolTipAt(QPoint, QSize) {
    return {};
}

}  // namespace pex
