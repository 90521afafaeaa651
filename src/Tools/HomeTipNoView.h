#pragma once
// The recharge tip: a dimmed overlay with a white card that tells the user to top up, with a
// close mark and a black "立即充值" button. A click on the close mark or on the dimmed area
// takes it off the screen; a click on the card does nothing. The tip keeps every click for
// itself, so the page underneath gets none while it is shown.
#include <QLabel>

#include "Tools/CustomButton.h"
#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class HomeTipNoView : public QWidget {
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
    LayerBackedView* sharedView() const { return sharedView_; }
    LayerBackedView* bgView() const { return bgView_; }
    CustomButton* sureBtn() const { return sureBtn_; }

    // The card's click: nothing.
    void didTap();
    // The close mark's and the dimmed area's click: takes the tip off the screen.
    void didTap1();
    // Writes "111" to the console and does nothing else.
    void bgTap();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void layoutSubviews();

    LayerBackedView* sharedView_;
    LayerBackedView* bgView_;
    ImageView* bgImg_;
    ImageView* closeImg_;
    QLabel* tip1Lab_;
    ImageView* iconImg_;
    QLabel* tipLab_;
    CustomButton* sureBtn_;
};

}  // namespace pex
