#include "Tools/DimmedCardTipView.h"

#include <QEvent>
#include <QLabel>

#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"

namespace pex {

DimmedCardTipView::DimmedCardTipView(const char* viewName, QSize cardSize, QWidget* parent)
    : ClickKeepingView(viewName, parent),
      cardSize_(cardSize),
      sharedView_(new LayerBackedView(this)),
      bgView_(new LayerBackedView(this)) {
    sharedView_->setLayerBackgroundColor(Color::grey(0, 0.2));
    sharedView_->setCornerRadius(10);
    bgView_->setLayerBackgroundColor(Color::grey(1));
    bgView_->setCornerRadius(10);
    // A new text on the card changes the size of its label, which asks the card for a layout.
    bgView_->installEventFilter(this);
}

void DimmedCardTipView::styleButton(CustomButton* button, const QString& title,
                                    const Color& background) {
    button->setCornerRadius(20);
    button->setLayerBackgroundColor(background);
    button->titleLab()->setText(title);
    button->titleLab()->setFont(themeFont15());
    setTextColor(button->titleLab(), Color::grey(1));
    button->iconImg()->hide();
}

void DimmedCardTipView::layoutSubviews() {
    sharedView_->setGeometry(rect());
    bgView_->setGeometry((width() - cardSize_.width()) / 2, (height() - cardSize_.height()) / 2,
                         cardSize_.width(), cardSize_.height());
    layoutCard();
}

bool DimmedCardTipView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == bgView_ && event->type() == QEvent::LayoutRequest) layoutSubviews();
    return false;
}

}  // namespace pex
