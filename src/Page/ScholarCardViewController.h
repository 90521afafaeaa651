#pragma once
// A page kept for a menu item that is not offered: nothing creates it. Its view is plain,
// with a grey background.
#include "platform/appkit/ViewController.h"

namespace pex {

class ScholarCardViewController : public ViewController {
    Q_OBJECT
  public:
    explicit ScholarCardViewController(QObject* parent = nullptr);

  protected:
    void viewDidLoad() override;
};

}  // namespace pex
