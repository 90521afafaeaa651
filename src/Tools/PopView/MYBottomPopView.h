#pragma once
// A pop-up host whose content leaves through the bottom edge: the content sits at the bottom
// of a view laid over a host, a click outside the content closes it, and closing slides the
// content out below the bottom edge while the view fades, in 0.25 s. Nothing in the
// application shows one; `show` exists so that it can be shown and seen.
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/foundation/Clock.h"

namespace pex {

class AnimationGroup;
class ClickGestureRecognizer;

class MYBottomPopView : public QWidget {
    Q_OBJECT
  public:
    static constexpr Clock::Duration kSlideDuration = std::chrono::milliseconds(250);

    MYBottomPopView();
    ~MYBottomPopView() override;

    QWidget* contentView() const { return contentView_.data(); }
    bool enableGesture = true;  // nothing reads it

    // Lays the view over `host` (its topmost subview, covering it) with `content` at the
    // bottom edge, centred horizontally at the size its frame has, and installs the click
    // recogniser that closes it from the background.
    void show(QWidget* content, QWidget* host);

    // Slides the content out below the bottom edge and fades it; then the view takes itself
    // off the screen and is deleted with its content. Without content, nothing.
    void dismiss();
    bool isDismissing() const { return dismissing_; }

    // The background click: closes the view when the click lies outside the content.
    void dismissOnBackgroundClick(ClickGestureRecognizer& recognizer);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QPointer<QWidget> contentView_;
    std::shared_ptr<AnimationGroup> slide_;
    bool dismissing_ = false;
};

}  // namespace pex
