#pragma once
// Twenty-six colours for networks and services, made from red, green and blue fractions of
// 255. Their names are numbers: the palette is a plain table nothing else reads.
#include <vector>

#include "palettes/PaletteEntry.h"
#include "platform/appkit/Color.h"

// The palette's constants in their order: X(name, 0xRRGGBB).
#define PEX_SOCIAL_COLOURS(X) \
    X(network01, 0x3B5998)    \
    X(network02, 0x00B6F1)    \
    X(network03, 0xDF4A32)    \
    X(network04, 0x007BB6)    \
    X(network05, 0x45BBFF)    \
    X(network06, 0xB31217)    \
    X(network07, 0xC32AA3)    \
    X(network08, 0xCB2027)    \
    X(network09, 0xF40083)    \
    X(network10, 0x430297)    \
    X(network11, 0x430297)    \
    X(network12, 0x2C4762)    \
    X(network13, 0xFC4575)    \
    X(network14, 0xFFB000)    \
    X(network15, 0xEA4C89)    \
    X(network16, 0xFF5700)    \
    X(network17, 0x4A5D4E)    \
    X(network18, 0xEE4056)    \
    X(network19, 0xAA22B6)    \
    X(network20, 0xF7921E)    \
    X(network21, 0x0099E5)    \
    X(network22, 0xDF6D46)    \
    X(network23, 0x00B489)    \
    X(network24, 0x00AFF0)    \
    X(network25, 0xEB4924)    \
    X(network26, 0xFFFC00)

namespace pex::palettes {

class Social {
  public:
    Social() = delete;

#define PEX_PALETTE_MEMBER(name, ...) static const Color& name();
    PEX_SOCIAL_COLOURS(PEX_PALETTE_MEMBER)
#undef PEX_PALETTE_MEMBER

    // Every constant of the palette, in order (for tests and tools).
    static const std::vector<PaletteEntry>& all();
};

}  // namespace pex::palettes
