#pragma once
// A colour choice: a swatch on the left edge and a small icon in the bottom-right corner. It
// keeps every click for itself; what a click does comes from the recognisers the page
// attaches.
#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class SettingSelectColorView : public LayerBackedView {
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

    // Writes "111" to the console and does nothing else.
    void bgTap();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void layoutSubviews() override;

  private:
    LayerBackedView* colorV_;
    ImageView* iconImg_;
};

}  // namespace pex
