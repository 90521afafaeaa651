#pragma once
// A one-line label on a coloured, rounded background. The page sets the text through
// `textField` and the look through backgroundColor and cornerRadius.
#include <optional>

#include "Tools/LayerBackedView.h"
#include "Tools/TailTruncatingLabel.h"

namespace pex {

class CustomBacTextField : public LayerBackedView {
    Q_OBJECT
  public:
    explicit CustomBacTextField(QWidget* parent = nullptr);

    TailTruncatingLabel* textField() const { return textField_; }

    // None removes the background.
    const std::optional<Color>& backgroundColor() const { return layerBackgroundColor(); }
    void setBackgroundColor(std::optional<Color> color) { setLayerBackgroundColor(color); }

    // cornerRadius and setCornerRadius are the layer's.

  protected:
    void layoutSubviews() override;

  private:
    TailTruncatingLabel* textField_;
};

}  // namespace pex
