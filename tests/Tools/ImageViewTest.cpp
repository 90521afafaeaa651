// The image view's rounded clipping: its edge is antialiased, not cut pixel by pixel.
#include "Tools/ImageView.h"

#include <gtest/gtest.h>
#include <QPixmap>

#include "support/EdgePixels.h"

namespace pex {
namespace {

TEST(ImageViewTest, RoundedCornersAreSmoothAndLeaveTheCornerClear) {
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, Qt::white);
    host.setPalette(palette);
    host.resize(60, 60);
    QPixmap red(80, 80);
    red.fill(Qt::red);
    auto* view = new ImageView(red, &host);
    view->setGeometry(10, 10, 40, 40);
    for (const double radius : {20.0, 6.0}) {
        SCOPED_TRACE(radius);
        view->setCornerRadius(radius);
        const QImage picture = host.grab().toImage();
        const qreal scale = picture.devicePixelRatio();
        const auto at = [&](int x, int y) { return QPoint(x, y) * scale; };
        EXPECT_EQ(picture.pixelColor(at(10, 10)), QColor(Qt::white));  // the cut corner
        EXPECT_EQ(picture.pixelColor(at(30, 30)), QColor(Qt::red));
        EXPECT_TRUE(test::hasBlendedEdge(picture, at(10, 10), at(30, 30)));
        EXPECT_TRUE(test::hasBlendedEdge(picture, at(49, 49), at(30, 30)));
    }
    view->setCornerRadius(0);
    EXPECT_EQ(host.grab().toImage().pixelColor(QPoint(10, 10)), QColor(Qt::red));
}

}  // namespace
}  // namespace pex
