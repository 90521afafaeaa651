#pragma once
// The host of the centred pop-ups: a transparent overlay laid over the whole content of the
// key window that dims it and shows one content view in its centre, fading in and out in
// 0.25 s. Every show uses a new overlay (a second show stacks a second one above the first);
// any code closes the frontmost overlay with the class-level dismiss().
//
// The overlay owns its content from show on and deletes both once it has faded out, unless the
// content is shown as `kept`: a single view that a page holds between shows (a confirmation
// card, a card with its choice) is then handed back, hidden and without parent, to its owner.
// Clicks outside the card do not close it and never reach the page underneath.
#include <QPointer>
#include <QWidget>
#include <memory>

#include "Tools/LayerBackedView.h"
#include "platform/foundation/Clock.h"

namespace pex {

class AnimationGroup;

class MYCenterPopView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr const char* kIdentifier = "MYCenterPopView";
    static constexpr Clock::Duration kFadeDuration = std::chrono::milliseconds(250);

    enum class Content { owned, kept };

    MYCenterPopView();
    ~MYCenterPopView() override;

    // The hosted view; none until shown.
    QWidget* contentView() const { return contentView_.data(); }
    bool enableGes = true;  // nothing reads it

    // Lays the overlay over `host` (its topmost subview) with `content` centred at the size its
    // frame already has, then fades the mask and the content in. From here the host owns the
    // overlay. Without content or host nothing happens, and the caller still owns both.
    void show(QWidget* content, QWidget* host, Content ownership = Content::owned);

    // Shows `content` over the key window's content view; without a key window (or content
    // view) nothing is shown and owned `content` is deleted. Answers the overlay, or none.
    static MYCenterPopView* showInKeyWindow(QWidget* content, Content ownership = Content::owned);

    // Closes the frontmost overlay of the key window, the one the user sees. Nothing happens
    // without a key window or an overlay.
    static void dismiss();

    // Fades this overlay out and then deletes it with its content. A second call while it
    // fades does nothing more.
    void dismissAnimated();
    bool isDismissing() const { return dismissing_; }

    // The mask colour when shown: black at alpha 0.2.
    static Color maskColor();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void setFade(double fraction);

    QPointer<QWidget> contentView_;
    Content ownership_ = Content::owned;
    std::shared_ptr<AnimationGroup> fade_;
    bool dismissing_ = false;
};

}  // namespace pex
