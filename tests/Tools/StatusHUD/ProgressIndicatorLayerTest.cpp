#include "Tools/StatusHUD/ProgressIndicatorLayer.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

#include "support/TestSupport.h"

namespace pex {
namespace {

using std::chrono::milliseconds;

TEST(ProgressIndicatorLayerTest, TwelveFinsAroundTheCentre) {
    const Color red = Color::rgb(1, 0, 0);
    ProgressIndicatorLayer layer(red, 60);
    EXPECT_EQ(layer.bounds(), QRectF(-30, -30, 60, 60));
    ASSERT_EQ(layer.finLayers().size(), 12u);
    EXPECT_FALSE(layer.isRunning);
    for (std::size_t i = 0; i < 12; ++i) {
        const auto& fin = layer.finLayers()[i];
        EXPECT_NEAR(fin.bounds.width(), 5.7, 1e-9);
        EXPECT_NEAR(fin.bounds.height(), 18, 1e-9);
        EXPECT_NEAR(fin.anchorPoint.y(), -0.63, 1e-9);
        EXPECT_NEAR(fin.cornerRadius, 2.85, 1e-9);
        EXPECT_DOUBLE_EQ(fin.rotation, static_cast<double>(i) * (-6.282185 / 12));
        EXPECT_EQ(fin.backgroundColor, red);
        EXPECT_EQ(fin.opacity, 0);
    }

    layer.setBounds(QRectF(0, 0, 120, 100));  // the shorter side counts
    const auto& fin = layer.finLayers()[5];
    EXPECT_NEAR(fin.bounds.height(), 30, 1e-9);
    EXPECT_NEAR(fin.cornerRadius, 4.75, 1e-9);
    EXPECT_EQ(fin.position, QPointF(60, 50));
    EXPECT_DOUBLE_EQ(fin.rotation, 5 * (-6.282185 / 12));
    EXPECT_EQ(fin.backgroundColor, red);
}

TEST(ProgressIndicatorLayerTest, StepsRunClockwiseAndFadesFinishAfterTheTimerStops) {
    ScopedManualClock clock;
    auto layer = std::make_shared<ProgressIndicatorLayer>(Color::grey(1), 60);
    layer->fposition = layer->numFins - 1;
    layer->startAnimation();
    ASSERT_TRUE(test::runMainUntil([&] { return layer->fposition == 0; }));
    for (int step = 1; step <= 12; ++step) {
        clock.clock().advance(milliseconds(50));
        ASSERT_TRUE(test::runMainUntil([&] { return layer->fposition == step % 12; })) << step;
    }
    // The fin lit 0.35 s ago is half way down.
    const auto now = Clock::current()->now();
    EXPECT_NEAR(layer->finLayers()[5].presentationOpacity(now), 0.5, 1e-9);

    layer->invalidateTimer();
    clock.clock().advance(milliseconds(700));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(layer->fposition, 0);  // no step after the timer stopped
    const auto later = Clock::current()->now();
    for (const auto& fin : layer->finLayers()) EXPECT_EQ(fin.presentationOpacity(later), 0);
}

}  // namespace
}  // namespace pex
