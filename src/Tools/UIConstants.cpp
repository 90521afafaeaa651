#include "Tools/UIConstants.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <mutex>
#include <optional>

#include "Tools/ColorExtension.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {

constexpr double kDesignWidth = 1200;
constexpr double kDesignHeight = 700;

std::optional<QSizeF> mainScreenSize() {
    if (!QGuiApplication::instance()) return std::nullopt;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    return QSizeF(screen->geometry().size());
}

// Read once when a screen exists; each extent is kept on its own first successful read.
double screenExtent(std::optional<double>& kept, std::mutex& mutex, bool width) {
    std::lock_guard lock(mutex);
    if (kept) return *kept;
    const std::optional<QSizeF> size = mainScreenSize();
    if (!size) return width ? kDesignWidth : kDesignHeight;
    kept = width ? size->width() : size->height();
    return *kept;
}

}  // namespace

const Color& themeTextColor() {
    static const Color color = colorWithHex(0x333333, 1);
    return color;
}
const Color& themeSubTextColor() {
    static const Color color = colorWithHex(0x666666, 1);
    return color;
}
const Color& themeLightBackgroundColor() {
    static const Color color = colorWithHex(0xF9F9F9, 1);
    return color;
}
const Color& themeTealColor() {
    static const Color color = colorWithHex(0x65D6C4, 1);
    return color;
}
const Color& themeGrayColor() {
    static const Color color = colorWithHex(0xB2B2B2, 1);
    return color;
}
const Color& themeMainColor() {
    static const Color color = colorWithHex(0x19CFAE, 1);
    return color;
}
const Color& themeMainLightColor() {
    static const Color color = colorWithHex(0xD7F2F2, 1);
    return color;
}
const Color& themeLoginBackgroundColor() {
    static const Color color = colorWithHex(0xEEF2F3, 1);
    return color;
}
const Color& themePageBackgroundColor() {
    static const Color color = Color::rgb(242 / 255.0, 250 / 255.0, 248 / 255.0, 1);
    return color;
}

const QFont& themeFont14() {
    static const QFont font = systemFont(14);
    return font;
}
const QFont& themeFont15() {
    static const QFont font = systemFont(15);
    return font;
}
const QFont& themeFont17() {
    static const QFont font = systemFont(17);
    return font;
}

double screenWidth() {
    static std::optional<double> kept;
    static std::mutex mutex;
    return screenExtent(kept, mutex, true);
}

double screenHeight() {
    static std::optional<double> kept;
    static std::mutex mutex;
    return screenExtent(kept, mutex, false);
}

double scaledLength(double value, double screen, double design) {
    return std::trunc(value * (screen / design));
}

double scaledByHeight(double value) {
    return scaledLength(value, screenHeight(), kDesignHeight);
}

double scaledByWidth(double value) {
    return scaledLength(value, screenWidth(), kDesignWidth);
}

}  // namespace pex
