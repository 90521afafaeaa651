#pragma once
// A page kept for a menu item that is not offered: nothing creates it. Its view is plain,
// with a white background.
#include "platform/appkit/ViewController.h"

namespace pex {

class ToolsViewController : public ViewController {
    Q_OBJECT
  public:
    explicit ToolsViewController(QObject* parent = nullptr);

  protected:
    void viewDidLoad() override;
};

}  // namespace pex
