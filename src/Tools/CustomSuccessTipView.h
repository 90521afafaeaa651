#pragma once
// The success tip: a dimmed overlay with a white card showing a success picture, a green
// message and a green button that closes the tip. The tip keeps every click for itself, so
// the page underneath gets none while it is shown.
#include <QLabel>

#include "Tools/CustomButton.h"
#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class CustomSuccessTipView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kCardWidth = 300;
    static constexpr int kCardHeight = 200;

    explicit CustomSuccessTipView(QWidget* parent = nullptr);

    QLabel* tipLab() const { return tipLab_; }
    LayerBackedView* sharedView() const { return sharedView_; }
    LayerBackedView* bgView() const { return bgView_; }
    ImageView* bgImg() const { return bgImg_; }
    CustomButton* sureBtn() const { return sureBtn_; }

    // The button's own action: writes "什么鬼" and takes the tip off the screen.
    void didTap1();
    // Writes "111" to the console and does nothing else.
    void bgTap();

    // The tip's green: #0FE3BD.
    static Color tipGreen();

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
    QLabel* tipLab_;
    CustomButton* sureBtn_;
};

}  // namespace pex
