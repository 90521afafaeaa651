#pragma once
// A package card that no page shows: a grey rounded card, a title and a subtitle. It makes
// the three views and leaves adding and placing them to whoever would use it.
#include <QLabel>

#include "Tools/LayerBackedView.h"

namespace pex {

class RechargeInfoView : public QWidget {
    Q_OBJECT
  public:
    explicit RechargeInfoView(QWidget* parent = nullptr);
    ~RechargeInfoView() override;

    LayerBackedView* contentV() const { return contentV_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subLabel() const { return subLabel_; }

  private:
    LayerBackedView* contentV_;
    QLabel* titleLabel_;
    QLabel* subLabel_;
};

}  // namespace pex
