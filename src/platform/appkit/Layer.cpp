#include "platform/appkit/Layer.h"

#include "platform/appkit/LayerHostView.h"

namespace pex {

Layer::~Layer() = default;

void Layer::setHidden(bool hidden) {
    if (hidden_ == hidden) return;
    hidden_ = hidden;
    setNeedsDisplay();
}

void Layer::setBounds(const QRectF& bounds) {
    bounds_ = bounds;
    setNeedsDisplay();
}

void Layer::setNeedsDisplay() {
    ++displayRequests_;
    if (host_) host_->update();
}

LayerHostView* Layer::host() const {
    return host_.data();
}

void Layer::removeFromHost() {
    if (host_) host_->removeSublayer(this);
}

}  // namespace pex
