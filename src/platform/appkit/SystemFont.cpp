#include "platform/appkit/SystemFont.h"

#include <QGuiApplication>
#include <cmath>

namespace pex {

QFont::Weight fontWeightFromDesignWeight(double weight) {
    // Midpoints between the design's named weights (ultra-light -0.8, thin -0.6, light -0.4,
    // regular 0, medium 0.23, semibold 0.3, bold 0.4, heavy 0.56, black 0.62).
    struct Step {
        double upTo;
        QFont::Weight weight;
    };
    static constexpr Step steps[] = {{-0.7, QFont::ExtraLight}, {-0.5, QFont::Thin},
                                     {-0.2, QFont::Light},      {0.115, QFont::Normal},
                                     {0.265, QFont::Medium},    {0.35, QFont::DemiBold},
                                     {0.48, QFont::Bold},       {0.59, QFont::ExtraBold}};
    for (const Step& step : steps) {
        if (weight < step.upTo) return step.weight;
    }
    return QFont::Black;
}

QFont systemFont(double points, double weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points))));
    font.setWeight(fontWeightFromDesignWeight(weight));
    return font;
}

}  // namespace pex
