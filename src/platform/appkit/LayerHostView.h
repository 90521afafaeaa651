#pragma once
// A plain view that paints the layers added to it, in the order added (later ones on top).
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/appkit/Layer.h"

namespace pex {

class LayerHostView : public QWidget {
    Q_OBJECT
  public:
    explicit LayerHostView(QWidget* parent = nullptr);
    ~LayerHostView() override;

    // A layer has one host at a time: adding it here takes it from its previous host.
    void addSublayer(std::shared_ptr<Layer> layer);
    void removeSublayer(const Layer* layer);
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<std::shared_ptr<Layer>> sublayers_;
};

}  // namespace pex
