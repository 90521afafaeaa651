#include "platform/appkit/LayerHostView.h"

#include <gtest/gtest.h>
#include <QPainter>

namespace pex {
namespace {

// Fills its bounds with one colour.
class SwatchLayer : public Layer {
  public:
    explicit SwatchLayer(QColor colour) : colour_(colour) {}
    void draw(QPainter& painter) const override { painter.fillRect(bounds(), colour_); }

  private:
    QColor colour_;
};

TEST(LayerHostViewTest, PaintsVisibleLayersInOrderAndALayerHasOneHost) {
    LayerHostView first;
    first.resize(20, 20);
    auto red = std::make_shared<SwatchLayer>(Qt::red);
    red->setBounds(QRectF(0, 0, 20, 20));
    auto blue = std::make_shared<SwatchLayer>(Qt::blue);
    blue->setBounds(QRectF(0, 0, 10, 20));
    first.addSublayer(red);
    first.addSublayer(blue);

    QImage image = first.grab().toImage();
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(image.pixelColor(15, 5), QColor(Qt::red));

    blue->setHidden(true);
    image = first.grab().toImage();
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::red));

    LayerHostView second;
    second.addSublayer(red);
    EXPECT_EQ(red->host(), &second);
    EXPECT_EQ(first.sublayers().size(), 1u);
    const int before = red->displayRequestCount();
    red->setNeedsDisplay();
    EXPECT_EQ(red->displayRequestCount(), before + 1);

    red->removeFromHost();
    EXPECT_EQ(red->host(), nullptr);
    EXPECT_TRUE(second.sublayers().empty());
}

}  // namespace
}  // namespace pex
