#pragma once
// A view that draws what a backing layer would: a background colour, rounded corners and a
// border. The view's own drawing (drawContents) comes between the background and the border,
// and, as on a layer, is not clipped to the rounded corners.
//
// Subclasses place their subviews in layoutSubviews, which runs when the view is resized or
// shown and when a subview's size hint changes (a new text, say), as constraints would.
#include <QWidget>
#include <optional>

#include "platform/appkit/Color.h"

namespace pex {

class LayerBackedView : public QWidget {
    Q_OBJECT
  public:
    explicit LayerBackedView(QWidget* parent = nullptr);

    // None draws no background (the same as the clear colour).
    const std::optional<Color>& layerBackgroundColor() const { return background_; }
    void setLayerBackgroundColor(std::optional<Color> color);

    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);

    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width);

    const Color& borderColor() const { return borderColor_; }
    void setBorderColor(const Color& color);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    virtual void drawContents(QPainter& painter, const QRect& dirtyRect);
    virtual void layoutSubviews();

  private:
    std::optional<Color> background_;
    double cornerRadius_ = 0;
    double borderWidth_ = 0;
    Color borderColor_;  // opaque black, as a layer's border starts
};

}  // namespace pex
