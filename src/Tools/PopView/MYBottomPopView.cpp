#include "Tools/PopView/MYBottomPopView.h"

#include <QMouseEvent>

#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/AnimationGroup.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

MYBottomPopView::MYBottomPopView() : QWidget(nullptr) {
    ClickGestureRecognizer::attach(
        this, [this](ClickGestureRecognizer& recognizer) { dismissOnBackgroundClick(recognizer); });
}

MYBottomPopView::~MYBottomPopView() {
    if (slide_) slide_->stop();
}

void MYBottomPopView::show(QWidget* content, QWidget* host) {
    assertMainThread("MYBottomPopView::show");
    if (!content || !host) return;
    contentView_ = content;
    setGeometry(host->rect());
    const QSize size = content->size();
    content->move((width() - size.width()) / 2, height() - size.height());
    addSubview(this, content);
    addSubview(host, this);
}

void MYBottomPopView::dismissOnBackgroundClick(ClickGestureRecognizer& recognizer) {
    if (contentView_ && QRectF(contentView_->geometry()).contains(recognizer.locationInView())) {
        return;
    }
    dismiss();
}

void MYBottomPopView::dismiss() {
    if (!contentView_ || dismissing_) return;
    dismissing_ = true;
    const QPoint from = contentView_->pos();
    // Below the bottom edge: the content's top on the view's bottom.
    const QPoint to(from.x(), height());
    slide_ = AnimationGroup::run(
        kSlideDuration,
        [this, from, to](double fraction) {
            if (!contentView_) return;
            contentView_->move(from.x(),
                               static_cast<int>(from.y() + (to.y() - from.y()) * fraction));
            // The view draws nothing but its content, so fading the content fades the view.
            setViewAlpha(contentView_, 1 - fraction);
        },
        [self = QPointer<MYBottomPopView>(this)] {
            if (!self) return;
            self->hide();
            self->deleteLater();
        });
}

// The page underneath gets no clicks while the view covers it.
void MYBottomPopView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void MYBottomPopView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace pex
