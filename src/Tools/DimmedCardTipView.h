#pragma once
// The frame the tip overlays share: a dimmed area over the whole view and a white card of a
// fixed size in its centre. The tip keeps every click for itself, so the page underneath gets
// none while it is shown. A tip puts its contents on the card (`bgView`) and places them in
// layoutCard, which runs whenever the tip is laid out, also when a label on the card gets a
// new text.
#include <QSize>
#include <QString>

#include "Tools/ClickKeepingView.h"
#include "Tools/CustomButton.h"

namespace pex {

class DimmedCardTipView : public ClickKeepingView {
    Q_OBJECT
  public:
    LayerBackedView* sharedView() const { return sharedView_; }
    LayerBackedView* bgView() const { return bgView_; }

  protected:
    DimmedCardTipView(const char* viewName, QSize cardSize, QWidget* parent);

    const QSize& cardSize() const { return cardSize_; }

    // Places what lies on the card; the dimmed area and the card are already in place.
    virtual void layoutCard() {}

    // The card's button as the tips show it: rounded ends, `background`, a white `title` in
    // the tips' font and no arrow.
    static void styleButton(CustomButton* button, const QString& title, const Color& background);

    void layoutSubviews() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QSize cardSize_;
    LayerBackedView* sharedView_;
    LayerBackedView* bgView_;
};

}  // namespace pex
