#pragma once
// The purchase page (tag 4). For now it shows its title; the purchase pages fill it in.
#include "Tools/BaseViewController.h"

namespace pex {

class PurchaseViewController : public BaseViewController {
    Q_OBJECT
  public:
    explicit PurchaseViewController(QObject* parent = nullptr);

  protected:
    void setupUI() override;
};

}  // namespace pex
