#include "platform/appkit/LayerHostView.h"

#include <QPainter>
#include <algorithm>

namespace pex {

LayerHostView::LayerHostView(QWidget* parent) : QWidget(parent) {}

LayerHostView::~LayerHostView() {
    for (const auto& layer : sublayers_) layer->host_ = nullptr;
}

void LayerHostView::addSublayer(std::shared_ptr<Layer> layer) {
    if (!layer) return;
    if (layer->host_ && layer->host_ != this) layer->host_->removeSublayer(layer.get());
    if (layer->host_ == this) return;
    layer->host_ = this;
    sublayers_.push_back(std::move(layer));
    update();
}

void LayerHostView::removeSublayer(const Layer* layer) {
    const auto found = std::find_if(sublayers_.begin(), sublayers_.end(),
                                    [layer](const auto& held) { return held.get() == layer; });
    if (found == sublayers_.end()) return;
    (*found)->host_ = nullptr;
    sublayers_.erase(found);
    update();
}

void LayerHostView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& layer : sublayers_) {
        if (layer->isHidden()) continue;
        painter.save();
        layer->draw(painter);
        painter.restore();
    }
}

}  // namespace pex
