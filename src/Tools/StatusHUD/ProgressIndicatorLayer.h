#pragma once
// The HUD's spinner: twelve rounded fins in a circle; every 0.05 s the next fin, clockwise,
// lights up and fades out over 0.7 s, so a bright fin with a fading tail runs around. Fades
// are worked out from the current Clock when drawing, so a ManualClock freezes them.
#include <memory>
#include <optional>
#include <vector>

#include "platform/appkit/Color.h"
#include "platform/appkit/Layer.h"
#include "platform/foundation/Clock.h"

namespace pex {

class DispatchTimer;

class ProgressIndicatorLayer : public Layer,
                               public std::enable_shared_from_this<ProgressIndicatorLayer> {
  public:
    static constexpr Clock::Duration kStepInterval = std::chrono::milliseconds(50);
    static constexpr Clock::Duration kFadeDuration = std::chrono::milliseconds(700);

    struct Fin {
        QRectF bounds;        // 0.095 s × 0.3 s
        QPointF anchorPoint;  // (0.5, −0.63): the fin stands 0.189 s to 0.489 s from the centre
        QPointF position;     // the centre of the owning layer
        double cornerRadius = 0;
        double rotation = 0;  // radians about the centre; negative is clockwise
        Color backgroundColor;
        double opacity = 0;  // the value the fin settles at
        // A fin lit at this time shows 1 and fades linearly to `opacity` over kFadeDuration.
        std::optional<Clock::TimePoint> litAt;
        double presentationOpacity(Clock::TimePoint now) const;
    };

    // The layer's own origin is at its centre: bounds (−size/2, −size/2, size, size).
    ProgressIndicatorLayer(const Color& color, double size);
    ~ProgressIndicatorLayer() override;

    bool isRunning = false;
    Color color;
    int fposition = 0;  // the fin lit last
    double fadeDownOpacity = 0;
    int numFins = 12;
    const std::vector<Fin>& finLayers() const { return finLayers_; }

    // Lights the next fin (the timer's action).
    virtual void advancePosition();
    // Builds the fins anew (called once, by the constructor).
    virtual void createFinLayers();
    // (Re)starts the timer; its first step is due at once, on the main queue.
    virtual void startAnimation();
    // Invalidates and drops the timer; fins already fading finish their fade.
    void invalidateTimer();
    bool hasAnimationTimer() const { return animationTimer_ != nullptr; }

    // Lays the fins out again for the new size; rotation and colour stay.
    void setBounds(const QRectF& bounds) override;
    void draw(QPainter& painter) const override;

  private:
    void layOutFin(Fin& fin) const;

    std::vector<Fin> finLayers_;
    std::unique_ptr<DispatchTimer> animationTimer_;
    std::uint64_t timerGeneration_ = 0;
};

}  // namespace pex
