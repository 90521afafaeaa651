#include "palettes/Material.h"

#include "Tools/ColorExtension.h"
#include "Tools/PaletteColor.h"
#include "palettes/PaletteAlias.h"

namespace pex::palettes {

// Each constant is made on its first read, once, whichever thread reads first.
#define PEX_PALETTE_COLOUR(name, value)                                          \
    const Color& Material::name() {                                              \
        static const PaletteColor colour([] { return colorWithHex(value, 1); }); \
        return colour.object();                                                  \
    }

// An alias holds the very object of the constant it names.
#define PEX_PALETTE_ALIAS(name, target)                                             \
    const Color& Material::name() {                                                 \
        static const PaletteAlias alias([]() -> const Color& { return target(); }); \
        return alias.object();                                                      \
    }

PEX_MATERIAL_COLOURS(PEX_PALETTE_COLOUR, PEX_PALETTE_ALIAS)

#define PEX_PALETTE_LISTED(name, ...) PaletteEntry{#name, &Material::name},
const std::vector<PaletteEntry>& Material::all() {
    static const std::vector<PaletteEntry> entries{
        PEX_MATERIAL_COLOURS(PEX_PALETTE_LISTED, PEX_PALETTE_LISTED)};
    return entries;
}

}  // namespace pex::palettes
