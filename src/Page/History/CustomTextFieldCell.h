#pragma once
// A text field's drawing cell that centres its text vertically: it keeps the rectangle the
// standard cell would draw the text in, moved so that it lies halfway down the bounds. No page
// uses it yet.
#include <QRectF>

namespace pex {

class CustomTextFieldCell {
  public:
    virtual ~CustomTextFieldCell() = default;

    // `standard` is the rectangle the standard cell gives for `bounds`.
    virtual QRectF drawingRectForBounds(const QRectF& bounds, const QRectF& standard) const;
};

}  // namespace pex
