#pragma once
// A colour choice: a swatch on the left edge and a small icon in the bottom-right corner. It
// keeps every click for itself; what a click does comes from the recognisers the page
// attaches.
#include "Tools/ClickKeepingView.h"
#include "Tools/ImageView.h"

namespace pex {

class SettingSelectColorView : public ClickKeepingView {
    Q_OBJECT
  public:
    static constexpr int kSwatchWidth = 32;
    static constexpr int kSwatchHeight = 20;
    static constexpr int kIconSide = 15;

    explicit SettingSelectColorView(QWidget* parent = nullptr);

    bool isSelect = false;

    // The swatch: the page gives it its colour through its layer look.
    LayerBackedView* colorV() const { return colorV_; }
    ImageView* iconImg() const { return iconImg_; }

  protected:
    void layoutSubviews() override;

  private:
    LayerBackedView* colorV_;
    ImageView* iconImg_;
};

}  // namespace pex
