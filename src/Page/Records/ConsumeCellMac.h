#pragma once
// One row of the record lists: an icon with a title beside it, a date below and a value at
// the right (the time used, or the amount paid), over a thin separator.
#include <QLabel>
#include <optional>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"
#include "Tools/TailTruncatingLabel.h"
#include "service/ConsumeDataModel.h"
#include "service/OrderDataModel.h"

namespace pex {

class ConsumeCellMac : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr const char* kIdentifier = "ConsumeCell";
    static constexpr int kRowHeight = 60;
    // The pattern the record dates are shown in, in local time.
    static constexpr const char* kDatePattern = "yyyy-MM-dd HH:mm:ss";

    explicit ConsumeCellMac(QWidget* parent = nullptr);

    std::optional<ConsumeModel> model;     // set by the consumption list
    std::optional<OrderModel> orderModel;  // set by the order list

    // Shows `model`: the function, the date, the time used as hh:mm:ss.
    void configureConsume();
    // Shows `orderModel`: the goods, the date, "¥" and the amount; the order icon.
    void configureOrder();

    ImageView* iconView() const { return iconView_; }
    LayerBackedView* lineView() const { return lineView_; }
    QLabel* titleLabel() const { return titleLabel_; }
    TailTruncatingLabel* desLabel() const { return desLabel_; }
    TailTruncatingLabel* rightLabel() const { return rightLabel_; }

    QSize sizeHint() const override;

  protected:
    void layoutSubviews() override;

  private:
    ImageView* iconView_;
    LayerBackedView* lineView_;
    QLabel* titleLabel_;
    TailTruncatingLabel* desLabel_;
    TailTruncatingLabel* rightLabel_;
};

}  // namespace pex
