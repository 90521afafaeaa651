#pragma once
// A flat button: a title with a small down-arrow at its right end. It keeps every click for
// itself (so clicks never reach the views behind it); what a click does comes from the click
// recognisers the page attaches (ClickGestureRecognizer). Pages restyle it through its layer
// look, `titleLab` and `iconImg`.
#include <QLabel>

#include "Tools/ClickKeepingView.h"
#include "Tools/ImageView.h"

namespace pex {

class CustomButton : public ClickKeepingView {
    Q_OBJECT
  public:
    explicit CustomButton(QWidget* parent = nullptr);

    int tagIndex = 0;

    QLabel* titleLab() const { return titleLab_; }
    ImageView* iconImg() const { return iconImg_; }

  protected:
    void layoutSubviews() override;

  private:
    QLabel* titleLab_;
    ImageView* iconImg_;
};

}  // namespace pex
