#pragma once
// The colour value the views are built with: red, green, blue and alpha in 0...1 (values
// outside that range are kept, as extended-range colours), or a grey (white, alpha). A plain
// value type, so colour arithmetic can be checked without a display; `toQColor` hands it to Qt.
#include <vector>

class QColor;

namespace pex {

class Color {
  public:
    enum class Space { rgb, grey };

    struct HSB {
        double hue = 0;  // 0...1, a full turn
        double saturation = 0;
        double brightness = 0;
        double alpha = 1;
    };

    // Opaque black.
    Color() = default;
    static Color rgb(double red, double green, double blue, double alpha = 1);
    static Color grey(double white, double alpha = 1);
    static Color clear() { return grey(0, 0); }
    static Color fromQColor(const QColor& color);

    Space space() const { return space_; }
    // The colour's own components: red, green, blue, alpha for an RGB colour; white, alpha
    // for a grey one.
    std::vector<double> components() const;
    double redComponent() const { return red_; }
    double greenComponent() const { return space_ == Space::grey ? red_ : green_; }
    double blueComponent() const { return space_ == Space::grey ? red_ : blue_; }
    double alphaComponent() const { return alpha_; }

    // The same colour as RGB components (a grey one gets its white in all three channels).
    Color usingRGB() const;
    Color withAlphaComponent(double alpha) const;
    HSB hsb() const;

    // Components outside 0...1 are clamped for Qt.
    QColor toQColor() const;

    bool operator==(const Color& other) const = default;

  private:
    Space space_ = Space::rgb;
    double red_ = 0;  // the white of a grey colour
    double green_ = 0;
    double blue_ = 0;
    double alpha_ = 1;
};

}  // namespace pex
