#include "platform/appkit/Color.h"

#include <QColor>
#include <algorithm>
#include <cmath>

namespace pex {

Color Color::rgb(double red, double green, double blue, double alpha) {
    Color color;
    color.red_ = red;
    color.green_ = green;
    color.blue_ = blue;
    color.alpha_ = alpha;
    return color;
}

Color Color::grey(double white, double alpha) {
    Color color;
    color.space_ = Space::grey;
    color.red_ = white;
    color.green_ = white;
    color.blue_ = white;
    color.alpha_ = alpha;
    return color;
}

Color Color::fromQColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return Color::rgb(rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF());
}

std::vector<double> Color::components() const {
    if (space_ == Space::grey) return {red_, alpha_};
    return {red_, green_, blue_, alpha_};
}

Color Color::usingRGB() const {
    return rgb(redComponent(), greenComponent(), blueComponent(), alpha_);
}

Color Color::withAlphaComponent(double alpha) const {
    Color copy = *this;
    copy.alpha_ = alpha;
    return copy;
}

Color::HSB Color::hsb() const {
    const double r = redComponent();
    const double g = greenComponent();
    const double b = blueComponent();
    const double maximum = std::max({r, g, b});
    const double minimum = std::min({r, g, b});
    const double chroma = maximum - minimum;
    HSB result;
    result.alpha = alpha_;
    result.brightness = maximum;
    result.saturation = maximum > 0 ? chroma / maximum : 0;
    if (chroma > 0) {
        double hue = 0;
        if (maximum == r) {
            hue = std::fmod((g - b) / chroma, 6.0);
        } else if (maximum == g) {
            hue = (b - r) / chroma + 2;
        } else {
            hue = (r - g) / chroma + 4;
        }
        hue /= 6;
        result.hue = hue < 0 ? hue + 1 : hue;
    }
    return result;
}

QColor Color::toQColor() const {
    const auto unit = [](double value) {
        return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
    };
    return QColor::fromRgbF(
        static_cast<float>(unit(redComponent())), static_cast<float>(unit(greenComponent())),
        static_cast<float>(unit(blueComponent())), static_cast<float>(unit(alpha_)));
}

}  // namespace pex
