#include "palettes/Social.h"

#include "Tools/PaletteColor.h"

namespace pex::palettes {

// Each constant is made on its first read, once, whichever thread reads first.
#define PEX_PALETTE_COLOUR(name, value)                                                      \
    const Color& Social::name() {                                                            \
        static const PaletteColor colour([] {                                                \
            return Color::rgb(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, \
                              (value & 0xFF) / 255.0, 1);                                    \
        });                                                                                  \
        return colour.object();                                                              \
    }

PEX_SOCIAL_COLOURS(PEX_PALETTE_COLOUR)

#define PEX_PALETTE_LISTED(name, ...) PaletteEntry{#name, &Social::name},
const std::vector<PaletteEntry>& Social::all() {
    static const std::vector<PaletteEntry> entries{PEX_SOCIAL_COLOURS(PEX_PALETTE_LISTED)};
    return entries;
}

}  // namespace pex::palettes
