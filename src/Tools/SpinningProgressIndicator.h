#pragma once
// The platform's spinning progress indicator: twelve spokes around a centre, one of them
// brightest, the brightness running round while animated. Regular size is 32 × 32 points.
// Stepped by a main-queue timer on the current Clock.
#include <QWidget>
#include <memory>

#include "platform/appkit/Color.h"

namespace pex {

class DispatchTimer;

class SpinningProgressIndicator : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRegularSize = 32;
    static constexpr int kSpokes = 12;

    explicit SpinningProgressIndicator(QWidget* parent = nullptr);
    ~SpinningProgressIndicator() override;

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return timer_ != nullptr; }
    // The brightest spoke, 0 at the top, counting clockwise.
    int step() const { return step_; }

    Color color = Color::rgb(142 / 255.0, 142 / 255.0, 147 / 255.0);

    QSize sizeHint() const override { return QSize(kRegularSize, kRegularSize); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::unique_ptr<DispatchTimer> timer_;
    int step_ = 0;
};

}  // namespace pex
