#include "Tools/CustomBacTextField.h"

#include <algorithm>

#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

CustomBacTextField::CustomBacTextField(QWidget* parent)
    : LayerBackedView(parent), textField_(new TailTruncatingLabel(QString(), this)) {
    textField_->setTextInteractionFlags(Qt::NoTextInteraction);
    textField_->setAttribute(Qt::WA_TranslucentBackground);
    textField_->setFont(systemFont(14));
    setTextColor(textField_, labelColor());
    textField_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layoutSubviews();
}

void CustomBacTextField::layoutSubviews() {
    // Centred at its own size; a text wider than the view is cut at the view's width.
    const QSize natural = textField_->sizeHint();
    const int width = std::min(natural.width(), this->width());
    textField_->setGeometry((this->width() - width) / 2, (height() - natural.height()) / 2, width,
                            natural.height());
}

}  // namespace pex
