// The centring text-field cell keeps the standard rectangle's place across and moves it halfway
// down the bounds.
#include <gtest/gtest.h>

#include "Page/History/CustomTextFieldCell.h"

namespace pex::test {
namespace {

TEST(CustomTextFieldCellTest, CentresTheTextRectangleVertically) {
    const CustomTextFieldCell cell;
    EXPECT_EQ(cell.drawingRectForBounds(QRectF(0, 0, 200, 30), QRectF(2, 0, 196, 17)),
              QRectF(2, 6.5, 196, 17));
    // A text taller than the field rises above its top, as centring asks.
    EXPECT_EQ(cell.drawingRectForBounds(QRectF(0, 0, 100, 10), QRectF(0, 3, 100, 20)),
              QRectF(0, -5, 100, 20));
}

}  // namespace
}  // namespace pex::test
