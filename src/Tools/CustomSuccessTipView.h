#pragma once
// The success tip: a dimmed overlay with a white card showing a success picture, a green
// message and a green button that closes the tip. The tip keeps every click for itself, so
// the page underneath gets none while it is shown.
#include <QLabel>

#include "Tools/CustomButton.h"
#include "Tools/DimmedCardTipView.h"
#include "Tools/ImageView.h"

namespace pex {

class CustomSuccessTipView : public DimmedCardTipView {
    Q_OBJECT
  public:
    static constexpr int kCardWidth = 300;
    static constexpr int kCardHeight = 200;

    explicit CustomSuccessTipView(QWidget* parent = nullptr);

    QLabel* tipLab() const { return tipLab_; }
    ImageView* bgImg() const { return bgImg_; }
    CustomButton* sureBtn() const { return sureBtn_; }

    // The button's own action: writes "什么鬼" and takes the tip off the screen.
    void didTap1();

    // The tip's green: #0FE3BD.
    static Color tipGreen();

  protected:
    void layoutCard() override;

  private:
    ImageView* bgImg_;
    QLabel* tipLab_;
    CustomButton* sureBtn_;
};

}  // namespace pex
