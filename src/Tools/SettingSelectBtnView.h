#pragma once
// A choice tile with a centred title and a small icon in the bottom-right corner. It keeps
// every click for itself; what a click does comes from the recognisers the page attaches.
#include <QLabel>

#include "Tools/ClickKeepingView.h"
#include "Tools/ImageView.h"

namespace pex {

class SettingSelectBtnView : public ClickKeepingView {
    Q_OBJECT
  public:
    static constexpr int kIconSide = 15;

    explicit SettingSelectBtnView(QWidget* parent = nullptr);

    bool isSelect = false;

    ImageView* iconImg() const { return iconImg_; }
    QLabel* titleLab() const { return titleLab_; }

  protected:
    void layoutSubviews() override;

  private:
    ImageView* iconImg_;
    QLabel* titleLab_;
};

}  // namespace pex
