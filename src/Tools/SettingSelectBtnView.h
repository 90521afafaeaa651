#pragma once
// A choice tile with a centred title and a small icon in the bottom-right corner. It keeps
// every click for itself; what a click does comes from the recognisers the page attaches.
#include <QLabel>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class SettingSelectBtnView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kIconSide = 15;

    explicit SettingSelectBtnView(QWidget* parent = nullptr);

    bool isSelect = false;

    ImageView* iconImg() const { return iconImg_; }
    QLabel* titleLab() const { return titleLab_; }

    // Writes "111" to the console and does nothing else.
    void bgTap();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void layoutSubviews() override;

  private:
    ImageView* iconImg_;
    QLabel* titleLab_;
};

}  // namespace pex
