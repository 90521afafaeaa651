#include "palettes/FlatUI.h"

#include "Tools/ColorExtension.h"
#include "Tools/PaletteColor.h"

namespace pex::palettes {

// Each constant is made on its first read, once, whichever thread reads first.
#define PEX_PALETTE_COLOUR(name, value)                                          \
    const Color& FlatUI::name() {                                                \
        static const PaletteColor colour([] { return colorWithHex(value, 1); }); \
        return colour.object();                                                  \
    }

PEX_FLATUI_COLOURS(PEX_PALETTE_COLOUR)

#define PEX_PALETTE_LISTED(name, ...) PaletteEntry{#name, &FlatUI::name},
const std::vector<PaletteEntry>& FlatUI::all() {
    static const std::vector<PaletteEntry> entries{PEX_FLATUI_COLOURS(PEX_PALETTE_LISTED)};
    return entries;
}

}  // namespace pex::palettes
