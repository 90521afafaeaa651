#pragma once
// The 148 named colours of CSS (the 147 traditional names and rebeccapurple), each grey
// spelling a constant of its own beside its gray twin.
#include <vector>

#include "palettes/PaletteEntry.h"
#include "platform/appkit/Color.h"

// The palette's constants in their order: X(name, 0xRRGGBB).
#define PEX_CSS_COLOURS(X)            \
    X(aliceblue, 0xF0F8FF)            \
    X(antiquewhite, 0xFAEBD7)         \
    X(aqua, 0x00FFFF)                 \
    X(aquamarine, 0x7FFFD4)           \
    X(azure, 0xF0FFFF)                \
    X(beige, 0xF5F5DC)                \
    X(bisque, 0xFFE4C4)               \
    X(black, 0x000000)                \
    X(blanchedalmond, 0xFFEBCD)       \
    X(blue, 0x0000FF)                 \
    X(blueviolet, 0x8A2BE2)           \
    X(brown, 0xA52A2A)                \
    X(burlywood, 0xDEB887)            \
    X(cadetblue, 0x5F9EA0)            \
    X(chartreuse, 0x7FFF00)           \
    X(chocolate, 0xD2691E)            \
    X(coral, 0xFF7F50)                \
    X(cornflowerblue, 0x6495ED)       \
    X(cornsilk, 0xFFF8DC)             \
    X(crimson, 0xDC143C)              \
    X(cyan, 0x00FFFF)                 \
    X(darkblue, 0x00008B)             \
    X(darkcyan, 0x008B8B)             \
    X(darkgoldenrod, 0xB8860B)        \
    X(darkgray, 0xA9A9A9)             \
    X(darkgrey, 0xA9A9A9)             \
    X(darkgreen, 0x006400)            \
    X(darkkhaki, 0xBDB76B)            \
    X(darkmagenta, 0x8B008B)          \
    X(darkolivegreen, 0x556B2F)       \
    X(darkorange, 0xFF8C00)           \
    X(darkorchid, 0x9932CC)           \
    X(darkred, 0x8B0000)              \
    X(darksalmon, 0xE9967A)           \
    X(darkseagreen, 0x8FBC8F)         \
    X(darkslateblue, 0x483D8B)        \
    X(darkslategray, 0x2F4F4F)        \
    X(darkslategrey, 0x2F4F4F)        \
    X(darkturquoise, 0x00CED1)        \
    X(darkviolet, 0x9400D3)           \
    X(deeppink, 0xFF1493)             \
    X(deepskyblue, 0x00BFFF)          \
    X(dimgray, 0x696969)              \
    X(dimgrey, 0x696969)              \
    X(dodgerblue, 0x1E90FF)           \
    X(firebrick, 0xB22222)            \
    X(floralwhite, 0xFFFAF0)          \
    X(forestgreen, 0x228B22)          \
    X(fuchsia, 0xFF00FF)              \
    X(gainsboro, 0xDCDCDC)            \
    X(ghostwhite, 0xF8F8FF)           \
    X(gold, 0xFFD700)                 \
    X(goldenrod, 0xDAA520)            \
    X(gray, 0x808080)                 \
    X(grey, 0x808080)                 \
    X(green, 0x008000)                \
    X(greenyellow, 0xADFF2F)          \
    X(honeydew, 0xF0FFF0)             \
    X(hotpink, 0xFF69B4)              \
    X(indianred, 0xCD5C5C)            \
    X(indigo, 0x4B0082)               \
    X(ivory, 0xFFFFF0)                \
    X(khaki, 0xF0E68C)                \
    X(lavender, 0xE6E6FA)             \
    X(lavenderblush, 0xFFF0F5)        \
    X(lawngreen, 0x7CFC00)            \
    X(lemonchiffon, 0xFFFACD)         \
    X(lightblue, 0xADD8E6)            \
    X(lightcoral, 0xF08080)           \
    X(lightcyan, 0xE0FFFF)            \
    X(lightgoldenrodyellow, 0xFAFAD2) \
    X(lightgray, 0xD3D3D3)            \
    X(lightgrey, 0xD3D3D3)            \
    X(lightgreen, 0x90EE90)           \
    X(lightpink, 0xFFB6C1)            \
    X(lightsalmon, 0xFFA07A)          \
    X(lightseagreen, 0x20B2AA)        \
    X(lightskyblue, 0x87CEFA)         \
    X(lightslategray, 0x778899)       \
    X(lightslategrey, 0x778899)       \
    X(lightsteelblue, 0xB0C4DE)       \
    X(lightyellow, 0xFFFFE0)          \
    X(lime, 0x00FF00)                 \
    X(limegreen, 0x32CD32)            \
    X(linen, 0xFAF0E6)                \
    X(magenta, 0xFF00FF)              \
    X(maroon, 0x800000)               \
    X(mediumaquamarine, 0x66CDAA)     \
    X(mediumblue, 0x0000CD)           \
    X(mediumorchid, 0xBA55D3)         \
    X(mediumpurple, 0x9370DB)         \
    X(mediumseagreen, 0x3CB371)       \
    X(mediumslateblue, 0x7B68EE)      \
    X(mediumspringgreen, 0x00FA9A)    \
    X(mediumturquoise, 0x48D1CC)      \
    X(mediumvioletred, 0xC71585)      \
    X(midnightblue, 0x191970)         \
    X(mintcream, 0xF5FFFA)            \
    X(mistyrose, 0xFFE4E1)            \
    X(moccasin, 0xFFE4B5)             \
    X(navajowhite, 0xFFDEAD)          \
    X(navy, 0x000080)                 \
    X(oldlace, 0xFDF5E6)              \
    X(olive, 0x808000)                \
    X(olivedrab, 0x6B8E23)            \
    X(orange, 0xFFA500)               \
    X(orangered, 0xFF4500)            \
    X(orchid, 0xDA70D6)               \
    X(palegoldenrod, 0xEEE8AA)        \
    X(palegreen, 0x98FB98)            \
    X(paleturquoise, 0xAFEEEE)        \
    X(palevioletred, 0xDB7093)        \
    X(papayawhip, 0xFFEFD5)           \
    X(peachpuff, 0xFFDAB9)            \
    X(peru, 0xCD853F)                 \
    X(pink, 0xFFC0CB)                 \
    X(plum, 0xDDA0DD)                 \
    X(powderblue, 0xB0E0E6)           \
    X(purple, 0x800080)               \
    X(rebeccapurple, 0x663399)        \
    X(red, 0xFF0000)                  \
    X(rosybrown, 0xBC8F8F)            \
    X(royalblue, 0x4169E1)            \
    X(saddlebrown, 0x8B4513)          \
    X(salmon, 0xFA8072)               \
    X(sandybrown, 0xF4A460)           \
    X(seagreen, 0x2E8B57)             \
    X(seashell, 0xFFF5EE)             \
    X(sienna, 0xA0522D)               \
    X(silver, 0xC0C0C0)               \
    X(skyblue, 0x87CEEB)              \
    X(slateblue, 0x6A5ACD)            \
    X(slategray, 0x708090)            \
    X(slategrey, 0x708090)            \
    X(snow, 0xFFFAFA)                 \
    X(springgreen, 0x00FF7F)          \
    X(steelblue, 0x4682B4)            \
    X(tan, 0xD2B48C)                  \
    X(teal, 0x008080)                 \
    X(thistle, 0xD8BFD8)              \
    X(tomato, 0xFF6347)               \
    X(turquoise, 0x40E0D0)            \
    X(violet, 0xEE82EE)               \
    X(wheat, 0xF5DEB3)                \
    X(white, 0xFFFFFF)                \
    X(whitesmoke, 0xF5F5F5)           \
    X(yellow, 0xFFFF00)               \
    X(yellowgreen, 0x9ACD32)

namespace pex::palettes {

class CSS {
  public:
    CSS() = delete;

#define PEX_PALETTE_MEMBER(name, ...) static const Color& name();
    PEX_CSS_COLOURS(PEX_PALETTE_MEMBER)
#undef PEX_PALETTE_MEMBER

    // Every constant of the palette, in order (for tests and tools).
    static const std::vector<PaletteEntry>& all();
};

}  // namespace pex::palettes
