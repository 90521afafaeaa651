#pragma once
// The twenty colours of the flat user-interface palette.
#include <vector>

#include "palettes/PaletteEntry.h"
#include "platform/appkit/Color.h"

// The palette's constants in their order: X(name, 0xRRGGBB).
#define PEX_FLATUI_COLOURS(X) \
    X(turquoise, 0x1ABC9C)    \
    X(greenSea, 0x16A085)     \
    X(emerald, 0x2ECC71)      \
    X(nephritis, 0x27AE60)    \
    X(peterRiver, 0x3498DB)   \
    X(belizeHole, 0x2980B9)   \
    X(amethyst, 0x9B59B6)     \
    X(wisteria, 0x8E44AD)     \
    X(wetAsphalt, 0x34495E)   \
    X(midnightBlue, 0x2C3E50) \
    X(sunFlower, 0xF1C40F)    \
    X(orange, 0xF39C12)       \
    X(carrot, 0xE67E22)       \
    X(pumpkin, 0xD35400)      \
    X(alizarin, 0xE74C3C)     \
    X(pomegranate, 0xC0392B)  \
    X(clouds, 0xECF0F1)       \
    X(silver, 0xBDC3C7)       \
    X(asbestos, 0x7F8C8D)     \
    X(concrete, 0x95A5A6)

namespace pex::palettes {

class FlatUI {
  public:
    FlatUI() = delete;

#define PEX_PALETTE_MEMBER(name, ...) static const Color& name();
    PEX_FLATUI_COLOURS(PEX_PALETTE_MEMBER)
#undef PEX_PALETTE_MEMBER

    // Every constant of the palette, in order (for tests and tools).
    static const std::vector<PaletteEntry>& all();
};

}  // namespace pex::palettes
