#pragma once
// Keeps a view placed in its superview as the superview's size changes, as layout constraints
// would: filling it edge to edge, or centred at a fixed size. Follows the view into a new
// superview. A later pin of the same view replaces the earlier one.
#include <QSize>

class QWidget;

namespace pex {

void pinEdgesToParent(QWidget* view);
void centreInParent(QWidget* view, QSize size);

}  // namespace pex
