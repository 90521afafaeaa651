#include "Tools/SystemColors.h"

namespace pex {

Color systemGrayColor() {
    return Color::rgb(142 / 255.0, 142 / 255.0, 147 / 255.0);
}

Color systemBlackColor() {
    return Color::grey(0);
}

Color labelColor() {
    return Color::grey(0, 0.85);
}

Color secondaryLabelColor() {
    return Color::grey(0, 0.5);
}

}  // namespace pex
