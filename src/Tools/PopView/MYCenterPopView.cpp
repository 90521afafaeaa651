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

void MYCenterPopView::show(QWidget* content, QWidget* host, Content ownership) {
    assertMainThread("MYCenterPopView::show");
    if (!content || !host) return;
    ownership_ = ownership;
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

MYCenterPopView* MYCenterPopView::showInKeyWindow(QWidget* content, Content ownership) {
    QWidget* host = ApplicationWindows::contentView(ApplicationWindows::keyWindow());
    if (!host) {
        if (ownership == Content::owned) delete content;
        return nullptr;
    }
    auto* overlay = new MYCenterPopView;
    overlay->show(content, host, ownership);
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
            // Owned content goes with the overlay, which holds it; kept content goes back to
            // its owner for the next show.
            if (self->ownership_ == Content::kept && self->contentView_) {
                removeFromSuperview(self->contentView_.data());
                setViewAlpha(self->contentView_.data(), 1);
            }
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
