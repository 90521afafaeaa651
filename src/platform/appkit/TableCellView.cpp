#include "platform/appkit/TableCellView.h"

namespace pex {

void TableCellView::mouseClicked(QPoint, QSize) {}

}  // namespace pex
