#pragma once
// One named constant of a palette, as the palettes list them.
#include "platform/appkit/Color.h"

namespace pex::palettes {

struct PaletteEntry {
    const char* name;
    const Color& (*read)();
};

}  // namespace pex::palettes
