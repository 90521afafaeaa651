#include "Tools/SpinningProgressIndicator.h"

#include <QPainter>
#include <QPointer>
#include <algorithm>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"

namespace pex {

namespace {
// One turn a second.
constexpr auto kStepInterval =
    std::chrono::microseconds(1'000'000 / SpinningProgressIndicator::kSpokes);
}  // namespace

SpinningProgressIndicator::SpinningProgressIndicator(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

SpinningProgressIndicator::~SpinningProgressIndicator() = default;

void SpinningProgressIndicator::startAnimation() {
    if (timer_) return;
    // A step already queued when the view goes away finds the pointer cleared.
    timer_ = std::make_unique<DispatchTimer>(DispatchQueue::main(), kStepInterval,
                                             [self = QPointer<SpinningProgressIndicator>(this)] {
                                                 if (!self || !self->timer_) return;
                                                 self->step_ = (self->step_ + 1) % kSpokes;
                                                 self->update();
                                             });
    timer_->resume();
}

void SpinningProgressIndicator::stopAnimation() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
}

void SpinningProgressIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    if (side <= 0) return;
    painter.translate(width() / 2.0, height() / 2.0);
    QPen pen(color.toQColor());
    pen.setWidthF(side * 0.09);
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // Spokes behind the brightest one fade out.
        const int behind = (step_ - i + kSpokes) % kSpokes;
        painter.setOpacity(std::max(0.2, 1.0 - behind * 0.08));
        painter.setPen(pen);
        painter.save();
        painter.rotate(i * 360.0 / kSpokes);
        painter.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.44));
        painter.restore();
    }
}

}  // namespace pex
