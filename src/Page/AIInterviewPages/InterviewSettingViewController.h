#pragma once
// The interview setup page (tag 0), the first page of every main window. For now it shows its
// title; the interview pages fill it in.
#include "Tools/BaseViewController.h"

namespace pex {

class InterviewSettingViewController : public BaseViewController {
    Q_OBJECT
  public:
    explicit InterviewSettingViewController(QObject* parent = nullptr);

  protected:
    void setupUI() override;
};

}  // namespace pex
