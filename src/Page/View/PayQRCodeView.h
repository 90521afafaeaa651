#pragma once
// The pop-up of a QR payment: the title "支付二维码", the order's payment address as a QR code
// (300 × 300 points at most), the instruction to scan it with the chosen payment app and a
// note on late credits. Its close mark (or Esc) only reports the click (`closeView`); whoever
// shows the pop-up closes it.
#include <QLabel>
#include <functional>
#include <string>

#include "Tools/BaseView.h"

namespace pex {

class ImageView;
class TailTruncatingLabel;

class PayQRCodeView : public BaseView {
    Q_OBJECT
  public:
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 420;
    static constexpr int kCodeSide = 300;
    static constexpr int kCornerRadius = 10;

    PayQRCodeView(Key key, QWidget* parent = nullptr);

    // A pop-up as the purchase page shows it: 380 × 420 with rounded, clipped corners.
    static PayQRCodeView* makeCard(QWidget* parent = nullptr);

    // Shows the instruction for the payment option (0 WeChat, any other Alipay) and the QR
    // code of `address`; an address that gives no code leaves the picture empty.
    void configure(const std::string& address, int payIndex);

    // The close mark's click: calls closeView.
    void closeTap();
    std::function<void()> closeView;

    TailTruncatingLabel* titleL() const { return titleL_; }
    TailTruncatingLabel* subTitleL() const { return subTitleL_; }
    QLabel* tipTitleL() const { return tipTitleL_; }
    ImageView* closeImg() const { return closeImg_; }
    ImageView* iconV() const { return iconV_; }

  protected:
    void setupUI() override;
    void setupConstraints() override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    TailTruncatingLabel* titleL_;
    TailTruncatingLabel* subTitleL_;
    QLabel* tipTitleL_;
    ImageView* closeImg_;
    ImageView* iconV_;
};

}  // namespace pex
