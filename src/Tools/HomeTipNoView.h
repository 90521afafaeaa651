#pragma once
// The recharge tip: a dimmed overlay with a white card that tells the user to top up, with a
// close mark and a black "立即充值" button. A click on the close mark or on the dimmed area
// (or Esc) takes it off the screen; a click on the card does nothing. The tip keeps every click for
// itself, so the page underneath gets none while it is shown.
#include <QLabel>

#include "Tools/CustomButton.h"
#include "Tools/DimmedCardTipView.h"
#include "Tools/ImageView.h"

namespace pex {

class HomeTipNoView : public DimmedCardTipView {
    Q_OBJECT
  public:
    static constexpr int kCardWidth = 397;
    static constexpr int kCardHeight = 255;

    explicit HomeTipNoView(QWidget* parent = nullptr);

    QLabel* tip1Lab() const { return tip1Lab_; }
    ImageView* bgImg() const { return bgImg_; }
    ImageView* iconImg() const { return iconImg_; }
    ImageView* closeImg() const { return closeImg_; }
    QLabel* tipLab() const { return tipLab_; }
    CustomButton* sureBtn() const { return sureBtn_; }

    // The card's click: nothing.
    void didTap();
    // The close mark's and the dimmed area's click: takes the tip off the screen.
    void didTap1();

  protected:
    void layoutCard() override;

  private:
    ImageView* bgImg_;
    ImageView* closeImg_;
    QLabel* tip1Lab_;
    ImageView* iconImg_;
    QLabel* tipLab_;
    CustomButton* sureBtn_;
};

}  // namespace pex
