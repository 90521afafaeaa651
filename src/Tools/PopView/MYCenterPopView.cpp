#include "Tools/PopView/MYCenterPopView.h"

#include <QMouseEvent>

#include "Tools/ViewHelpers.h"
#include "platform/appkit/AnimationGroup.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

MYCenterPopView::MYCenterPopView() : LayerBackedView(nullptr) {
    setLayerBackgroundColor(Color::clear());
}

MYCenterPopView::~MYCenterPopView() {
    if (fade_) fade_->stop();
}

Color MYCenterPopView::maskColor() {
    return Color::grey(0, 0.2);
}

void MYCenterPopView::show(QWidget* content, QWidget* host) {
    assertMainThread("MYCenterPopView::show");
    if (!content || !host) return;
    setObjectName(QString::fromLatin1(kIdentifier));
    contentView_ = content;
    setGeometry(host->rect());
    setLayerBackgroundColor(Color::clear());
    setViewAlpha(content, 0);
    // Centred at the content's own size; a content larger than the host overhangs it on both
    // sides alike.
    const QSize size = content->size();
    content->move(static_cast<int>((width() - size.width()) * 0.5),
                  static_cast<int>((height() - size.height()) * 0.5));
    addSubview(this, content);
    addSubview(host, this);
    fade_ = AnimationGroup::run(
        kFadeDuration, [this](double fraction) { setFade(fraction); }, nullptr);
}

MYCenterPopView* MYCenterPopView::showInKeyWindow(QWidget* content) {
    QWidget* host = ApplicationWindows::contentView(ApplicationWindows::keyWindow());
    if (!host) {
        delete content;
        return nullptr;
    }
    auto* overlay = new MYCenterPopView;
    overlay->show(content, host);
    return overlay;
}

void MYCenterPopView::setFade(double fraction) {
    setLayerBackgroundColor(
        maskColor().withAlphaComponent(maskColor().alphaComponent() * fraction));
    if (contentView_) setViewAlpha(contentView_, fraction);
}

void MYCenterPopView::dismiss() {
    assertMainThread("MYCenterPopView::dismiss");
    QWidget* host = ApplicationWindows::contentView(ApplicationWindows::keyWindow());
    if (!host) return;
    // Subviews run back to front; the last overlay is the one on top.
    const QObjectList& subviews = host->children();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        if ((*it)->objectName() != QLatin1String(kIdentifier)) continue;
        if (auto* overlay = qobject_cast<MYCenterPopView*>(*it)) overlay->dismissAnimated();
        return;
    }
}

void MYCenterPopView::dismissAnimated() {
    if (dismissing_) return;
    dismissing_ = true;
    if (fade_) fade_->stop();
    const double from = viewAlpha(contentView_ ? contentView_.data() : this);
    fade_ = AnimationGroup::run(
        kFadeDuration, [this, from](double fraction) { setFade(from * (1 - fraction)); },
        [self = QPointer<MYCenterPopView>(this)] {
            if (!self) return;
            // The content goes with the overlay, which holds it.
            self->hide();
            self->deleteLater();
        });
}

void MYCenterPopView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void MYCenterPopView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace pex
