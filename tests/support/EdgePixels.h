#pragma once
// Tells an antialiased edge from a jagged one in a rendered picture: around a smooth edge some
// pixels blend the colours inside and outside the shape; a widget mask or an aliased clip
// leaves only the one or the other.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdlib>

namespace pex::test {

inline bool isBetween(const QColor& colour, const QColor& outside, const QColor& inside) {
    constexpr int kTolerance = 12;
    const auto near = [&](const QColor& other) {
        return std::abs(colour.red() - other.red()) <= kTolerance &&
               std::abs(colour.green() - other.green()) <= kTolerance &&
               std::abs(colour.blue() - other.blue()) <= kTolerance;
    };
    return !near(outside) && !near(inside);
}

// True when some pixel in the box spanned by `outside` and `inside` is neither of those two
// pixels' colours.
inline bool hasBlendedEdge(const QImage& image, QPoint outside, QPoint inside) {
    const QColor from = image.pixelColor(outside);
    const QColor to = image.pixelColor(inside);
    const QRect box = QRect(outside, inside).normalized();
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (isBetween(image.pixelColor(x, y), from, to)) return true;
        }
    }
    return false;
}

}  // namespace pex::test
