#pragma once
// The platform's named colours that the views use, in their light appearance.
#include "platform/appkit/Color.h"

namespace pex {

Color systemGrayColor();      // the system grey: 142/142/147
Color systemBlackColor();     // plain black
Color labelColor();           // black at 0.85: the primary text of labels
Color secondaryLabelColor();  // black at 0.5: secondary text

}  // namespace pex
