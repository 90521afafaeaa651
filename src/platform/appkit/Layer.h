#pragma once
// A drawn layer hosted by a view (LayerHostView): the views' stand-in for the design's
// animation layers. A layer draws itself in its host's coordinates and asks the host to
// repaint with setNeedsDisplay. Layers are shared: a layer lives as long as someone holds it.
#include <QPointer>
#include <QRectF>

class QPainter;

namespace pex {

class LayerHostView;

class Layer {
  public:
    Layer() = default;
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);

    const QRectF& bounds() const { return bounds_; }
    virtual void setBounds(const QRectF& bounds);

    // Asks the hosting view, if any, to repaint.
    void setNeedsDisplay();
    // How many times a repaint was asked for; lets tests see that a change reached the screen.
    int displayRequestCount() const { return displayRequests_; }

    LayerHostView* host() const;
    void removeFromHost();

    // Draws into the host's coordinates.
    virtual void draw(QPainter& painter) const = 0;

  private:
    friend class LayerHostView;
    QPointer<LayerHostView> host_;
    QRectF bounds_;
    bool hidden_ = false;
    int displayRequests_ = 0;
};

}  // namespace pex
