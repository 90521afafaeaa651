#pragma once
// One row of the purchase page's package list: a grey rounded card with the package's
// introduction and name on the left, an optional badge, and the price with its currency on the
// right. The chosen package's card has a 2-point border in the accent colour.
#include <QLabel>

#include "Tools/LayerBackedView.h"
#include "service/RechargeModel.h"

namespace pex {

class RechargeCellView : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kIdentifier = "RechargeCellView";
    static constexpr int kCardInset = 6;
    static constexpr int kBadgeHeight = 21;

    explicit RechargeCellView(QWidget* parent = nullptr);

    // The package shown; set before configure.
    RechargeModel::Ref rechargeModel;
    // Shows rechargeModel; without one nothing changes.
    void configure();

    LayerBackedView* contentV() const { return contentV_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subLabel() const { return subLabel_; }
    QLabel* centerLabel() const { return centerLabel_; }
    LayerBackedView* centerView() const { return centerView_; }
    QLabel* rightLabel() const { return rightLabel_; }
    QLabel* yuanLabel() const { return yuanLabel_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layoutCard();

    LayerBackedView* contentV_;
    QLabel* titleLabel_;
    QLabel* subLabel_;
    LayerBackedView* centerView_;
    QLabel* centerLabel_;
    QLabel* rightLabel_;
    QLabel* yuanLabel_;
};

}  // namespace pex
