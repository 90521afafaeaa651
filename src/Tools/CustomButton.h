#pragma once
// A flat button: a title with a small down-arrow at its right end. It keeps every click for
// itself (so clicks never reach the views behind it); what a click does comes from the click
// recognisers the page attaches (ClickGestureRecognizer). Pages restyle it through its layer
// look, `titleLab` and `iconImg`.
#include <QLabel>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class CustomButton : public LayerBackedView {
    Q_OBJECT
  public:
    explicit CustomButton(QWidget* parent = nullptr);

    int tagIndex = 0;

    QLabel* titleLab() const { return titleLab_; }
    ImageView* iconImg() const { return iconImg_; }

    // Writes "111" to the console and does nothing else.
    void bgTap();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void layoutSubviews() override;

  private:
    QLabel* titleLab_;
    ImageView* iconImg_;
};

}  // namespace pex
