#pragma once
// The small dark busy panel that HUD places in the middle of the main window: a spinner above
// a one-line message, 120 × 80 points.
#include <QLabel>

#include "Tools/LayerBackedView.h"
#include "Tools/SpinningProgressIndicator.h"

namespace pex {

class MacStatusHUD : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kWidth = 120;
    static constexpr int kHeight = 80;
    static inline const Color kPanelColor = Color::grey(0.4);

    explicit MacStatusHUD(QWidget* parent = nullptr);

    SpinningProgressIndicator* indicator() const { return indicator_; }
    QLabel* messageLabel() const { return messageLabel_; }

  protected:
    void layoutSubviews() override;

  private:
    SpinningProgressIndicator* indicator_;
    QLabel* messageLabel_;
};

}  // namespace pex
