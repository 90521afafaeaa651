#pragma once
// The panel beside the package list: the product description ("产品说明") and the purchase
// notes ("充值说明") on a grey rounded card. In both texts every "专属客服" is coloured; a
// click on the notes opens the customer-service card, once at a time: further clicks are
// ignored until that card is closed.
#include <QLabel>
#include <QString>

#include "Tools/LayerBackedView.h"

namespace pex {

class RechargeDescribeView : public LayerBackedView {
    Q_OBJECT
  public:
    static const QString kProductText;
    static const QString kNotesText;
    static const QString kContactWord;  // "专属客服"

    explicit RechargeDescribeView(QWidget* parent = nullptr);

    // The styled text of a description field, as rich text: white 12-point lines `spacing`
    // points apart, every "专属客服" in the highlight colour. The text is taken literally.
    static QString makeNotesText(const QString& text, double spacing);

    // Whether a click on the notes may open the contact card.
    bool isButtonEnabled = true;

    // The notes' click: shows the contact card unless one opened from here is still up.
    void handleTap();
    void showContact();

    LayerBackedView* contentV() const { return contentV_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subLabel() const { return subLabel_; }
    QLabel* title2Label() const { return title2Label_; }
    QLabel* sub2Label() const { return sub2Label_; }

  protected:
    void layoutSubviews() override;

  private:
    LayerBackedView* contentV_;
    QLabel* titleLabel_;
    QLabel* subLabel_;
    QLabel* title2Label_;
    QLabel* sub2Label_;
};

}  // namespace pex
