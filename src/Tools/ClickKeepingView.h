#pragma once
// A layer-backed view that keeps every mouse-down and mouse-up for itself, writing each to the
// console under the view's name, so that clicks never reach the views behind it. What a click
// does comes from the click recognisers attached to it or its subviews.
#include "Tools/LayerBackedView.h"

namespace pex {

class ClickKeepingView : public LayerBackedView {
    Q_OBJECT
  public:
    // Writes "111" to the console and does nothing else.
    void bgTap();

  protected:
    // `viewName` heads the console line of each mouse event; it must outlive the view (a
    // string literal).
    explicit ClickKeepingView(const char* viewName, QWidget* parent = nullptr);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const char* viewName_;
};

}  // namespace pex
