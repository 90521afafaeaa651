#include "Page/History/CustomTextFieldCell.h"

namespace pex {

QRectF CustomTextFieldCell::drawingRectForBounds(const QRectF& bounds,
                                                 const QRectF& standard) const {
    QRectF centred = standard;
    centred.moveTop((bounds.height() - standard.height()) / 2);
    return centred;
}

}  // namespace pex
