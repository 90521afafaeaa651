#pragma once
// The shared look: theme colours and fonts, and the main screen's size with the scaling of
// lengths laid out for a 1200 × 700 design screen. Each constant is made on first use and
// kept for the life of the process (nothing rebuilds them when the screen changes).
#include <QFont>

#include "platform/appkit/Color.h"

namespace pex {

const Color& themeTextColor();             // 0x333333: main text of labels
const Color& themeSubTextColor();          // 0x666666: secondary text
const Color& themeLightBackgroundColor();  // 0xF9F9F9: light panel background
const Color& themeTealColor();             // 0x65D6C4: tile borders, highlighted words
const Color& themeGrayColor();             // 0xB2B2B2: grey text, neutral backgrounds
const Color& themeMainColor();             // 0x19CFAE: the accent colour
const Color& themeMainLightColor();        // 0xD7F2F2: secondary buttons in dialogs
const Color& themeLoginBackgroundColor();  // 0xEEF2F3: login window
const Color& themePageBackgroundColor();   // 242/250/248: main window, top bar

const QFont& themeFont14();  // body text
const QFont& themeFont15();  // tips and dialogs
const QFont& themeFont17();  // titles

// The main screen's size in points, read on first use. Without a screen the design size
// (1200 × 700) stands in and is not kept, so a later read still sees the real screen.
double screenWidth();
double screenHeight();

// value × (screen / design), truncated toward zero.
double scaledByHeight(double value);
double scaledByWidth(double value);
double scaledLength(double value, double screenExtent, double designExtent);

}  // namespace pex
