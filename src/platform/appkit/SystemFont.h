#pragma once
// The system font in the design's terms: sizes are points of the layout (one point is one
// device-independent pixel, as everywhere else in the views), weights are the design's
// weight values from -1 (ultra-light) to 1 (black), 0 being regular.
#include <QFont>

namespace pex {

QFont systemFont(double points, double weight = 0);

// Converts a design weight value to Qt's nearest font weight.
QFont::Weight fontWeightFromDesignWeight(double weight);

}  // namespace pex
