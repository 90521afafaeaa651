#include "Tools/StatusHUD/ProgressIndicatorLayer.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"

namespace pex {

namespace {
// A turn as the fins are rotated by: a hair short of 2π, so the twelfth fin sits a little
// before the first one.
constexpr double kFinTurn = 6.282185;
}  // namespace

double ProgressIndicatorLayer::Fin::presentationOpacity(Clock::TimePoint now) const {
    if (!litAt) return opacity;
    const double elapsed = std::chrono::duration<double>(now - *litAt).count();
    const double fraction =
        std::clamp(elapsed / std::chrono::duration<double>(kFadeDuration).count(), 0.0, 1.0);
    return 1 + (opacity - 1) * fraction;
}

ProgressIndicatorLayer::ProgressIndicatorLayer(const Color& color, double size) : color(color) {
    Layer::setBounds(QRectF(-size / 2, -size / 2, size, size));
    createFinLayers();
    if (isRunning) startAnimation();
}

ProgressIndicatorLayer::~ProgressIndicatorLayer() {
    isRunning = false;
    invalidateTimer();
}

void ProgressIndicatorLayer::layOutFin(Fin& fin) const {
    const double side = std::min(bounds().width(), bounds().height());
    fin.bounds = QRectF(0, 0, 0.095 * side, 0.3 * side);
    const double anchorY = side > 0 ? (side - 0.3 * side) * -0.9 / side : 0;
    fin.anchorPoint = QPointF(0.5, anchorY);
    fin.position = QPointF(bounds().width() / 2, bounds().height() / 2);
    fin.cornerRadius = 0.0475 * side;
}

void ProgressIndicatorLayer::createFinLayers() {
    finLayers_.clear();
    for (int i = 0; i < numFins; ++i) {
        Fin fin;
        layOutFin(fin);
        fin.rotation = i * (-kFinTurn / numFins);
        fin.backgroundColor = color;
        fin.opacity = fadeDownOpacity;
        finLayers_.push_back(fin);
    }
    setNeedsDisplay();
}

void ProgressIndicatorLayer::advancePosition() {
    if (finLayers_.empty()) return;
    fposition += 1;
    if (fposition >= static_cast<int>(finLayers_.size())) fposition = 0;
    Fin& fin = finLayers_[static_cast<std::size_t>(fposition)];
    // Shown at full strength now, then faded down to where it settles.
    fin.litAt = Clock::current()->now();
    fin.opacity = fadeDownOpacity;
    setNeedsDisplay();
}

void ProgressIndicatorLayer::startAnimation() {
    invalidateTimer();
    const std::uint64_t generation = ++timerGeneration_;
    auto step = [weak = weak_from_this(), generation] {
        auto self = weak.lock();
        if (self && self->animationTimer_ && self->timerGeneration_ == generation) {
            self->advancePosition();
        }
    };
    animationTimer_ = std::make_unique<DispatchTimer>(DispatchQueue::main(), kStepInterval, step);
    animationTimer_->resume();
    DispatchQueue::main().async(step);
}

void ProgressIndicatorLayer::invalidateTimer() {
    if (!animationTimer_) return;
    animationTimer_->cancel();
    animationTimer_.reset();
    ++timerGeneration_;
    // Fins still fading need one more frame once their fade is over.
    DispatchQueue::main().asyncAfter(kFadeDuration, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->setNeedsDisplay();
    });
}

void ProgressIndicatorLayer::setBounds(const QRectF& newBounds) {
    Layer::setBounds(newBounds);
    for (Fin& fin : finLayers_) layOutFin(fin);
}

void ProgressIndicatorLayer::draw(QPainter& painter) const {
    const Clock::TimePoint now = Clock::current()->now();
    painter.setPen(Qt::NoPen);
    for (const Fin& fin : finLayers_) {
        const double opacity = fin.presentationOpacity(now);
        if (opacity <= 0) continue;
        painter.save();
        painter.translate(fin.position);
        // Rotations are given y-up, counter-clockwise positive; Qt's y runs down.
        painter.rotate(-fin.rotation * 180 / std::numbers::pi);
        const double width = fin.bounds.width();
        const double height = fin.bounds.height();
        const QRectF outline(-fin.anchorPoint.x() * width, -(1 - fin.anchorPoint.y()) * height,
                             width, height);
        QPainterPath path;
        path.addRoundedRect(outline, fin.cornerRadius, fin.cornerRadius);
        painter.setOpacity(opacity);
        painter.fillPath(path, fin.backgroundColor.toQColor());
        painter.restore();
    }
}

}  // namespace pex
