#pragma once
// A page kept for a menu item that is not offered: nothing creates it. Its view is plain,
// with a light grey background.
#include "platform/appkit/ViewController.h"

namespace pex {

class ActivitiesViewController : public ViewController {
    Q_OBJECT
  public:
    explicit ActivitiesViewController(QObject* parent = nullptr);

  protected:
    void viewDidLoad() override;
};

}  // namespace pex
