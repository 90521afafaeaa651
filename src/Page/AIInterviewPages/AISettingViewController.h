#pragma once
// The AI settings page (tag 3). For now it shows its title; the interview pages fill it in.
#include "Tools/BaseViewController.h"

namespace pex {

class AISettingViewController : public BaseViewController {
    Q_OBJECT
  public:
    explicit AISettingViewController(QObject* parent = nullptr);

  protected:
    void setupUI() override;
};

}  // namespace pex
