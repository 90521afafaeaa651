#pragma once
// The application's heads-up display: a rounded translucent box over the content of the
// application's window (or of `containerView`), with a spinner, a progress arc or a drawn icon
// above a centred text. Pages show a busy state (spinner and text) and end it with
// hide(true), or a short message (`showMessage`) that hides itself after a time that grows
// with its length. One shared instance serves every page. Main thread only.
//
// The HUD draws as an overlay child view of its host; it opens no window of its own.
// Appearing and disappearing are announced on the default notification centre, with the HUD
// as sender.
#include <QFont>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "Tools/StatusHUD/StatusHUDTypes.h"
#include "platform/foundation/Clock.h"

class QLabel;
class QMouseEvent;
class QPainter;
class QWidget;

namespace pex {

class AnimationGroup;
class ProgressIndicatorLayer;
class StatusHUDView;

class StatusHUD {
  public:
    static constexpr const char* willAppearNotification = "StatusHUD.willAppear";
    static constexpr const char* didAppearNotification = "StatusHUD.didAppear";
    static constexpr const char* willDisappearNotification = "StatusHUD.willDisappear";
    static constexpr const char* didDisappearNotification = "StatusHUD.didDisappear";
    static constexpr const char* didReceiveMouseDownEventNotification =
        "StatusHUD.didReceiveMouseDownEvent";
    static constexpr Clock::Duration kFadeDuration = std::chrono::milliseconds(200);

    // Made on first use, kept for the life of the process.
    static StatusHUD& shared();

    StatusHUD();
    virtual ~StatusHUD();
    StatusHUD(const StatusHUD&) = delete;
    StatusHUD& operator=(const StatusHUD&) = delete;

    // Settings, read when the HUD is next shown or drawn.
    StatusHUDStyle style = StatusHUDStyle::dark;
    StatusHUDMaskType maskType = StatusHUDMaskType::none;
    StatusHUDPosition position = StatusHUDPosition::bottom;
    QPointer<QWidget> containerView;  // when set, the HUD shows over it instead of the window
    QFont font;                       // the system font, 18 points
    double opacity = 0.9;             // of the box colour
    double spinnerSize = 60;          // side of the spinner view and of the icon square
    double margin = 18;
    double padding = 4;
    double cornerRadius = 15;
    bool dismissible = false;                 // a click on the HUD hides it
    std::function<void()> completionHandler;  // runs at the end of every hide
    double minimumDismissTimeInterval = kMinimumDismissSeconds;
    double maximumDismissTimeInterval = kMaximumDismissSeconds;

    // State.
    const StatusHUDMode& mode() const { return mode_; }
    QWidget* indicator() const;
    const std::shared_ptr<ProgressIndicatorLayer>& progressIndicator() const {
        return progressIndicator_;
    }
    QSizeF size() const { return size_; }  // of the box, from layoutFrame
    bool useAnimation() const { return useAnimation_; }
    QLabel* statusLabel();
    double progress() const { return progress_; }
    void setProgress(double fraction);  // drawn in `determinate` mode

    // The overlay view itself (made again if its host took it down with it).
    QWidget* view();
    bool isHidden() const;
    double alphaValue() const { return alpha_; }
    // Where the box is drawn, in the view's coordinates; from layoutFrame.
    QRectF boxRect() const { return boxRect_; }

    // The view to attach to: `containerView`, else the content of the application window.
    virtual QWidget* hostView();
    // Shows `status` in `mode`: attaches (when hidden), sets the indicator and text, fades in.
    // Does nothing without a host view. Cancels a delayed hide still pending, so a busy state
    // shown during a short message's time stays up.
    virtual void show(const QString& status, const StatusHUDMode& mode);
    virtual void appear(bool animated);
    virtual void hide(bool animated);
    virtual void finishHide();
    virtual void setStatus(const QString& text);
    virtual void updateIndicator();
    virtual void layoutFrame();
    virtual void drawInfoIcon(QPainter& painter, const QRectF& square);
    virtual void drawCheckmark(QPainter& painter, const QRectF& square);
    virtual void drawCross(QPainter& painter, const QRectF& square);

    // Cancels pending delayed hides, then hides: without fading when `number` is 0, faded
    // otherwise (none included).
    void hideDelayed(std::optional<double> number = std::nullopt);
    // Asks for hideDelayed(number) after `delay` on the main queue; hide and hideDelayed cancel
    // it, and so does show.
    void performHideDelayed(Clock::Duration delay, std::optional<double> number);
    void cancelDelayedHides();
    bool hasPendingDelayedHide() const { return pendingDelayedHides_ > 0; }

    // The short message every page uses: shows `text` on the shared HUD (mode `text`, or
    // `error` for a failure) and hides it, faded, after displayDuration(text).
    static void showMessage(const QString& text, const StatusHUDMode& mode);
    // Seconds a short message stays: 0.5 + 0.06 per character, kept within the shared HUD's
    // minimum and maximum dismiss intervals (2...5 unless changed). Characters are what the
    // reader sees (an emoji with its modifiers is one).
    static double displayDuration(const QString& text);

    static constexpr double kMinimumDismissSeconds = 2;
    static constexpr double kMaximumDismissSeconds = 5;

  protected:
    virtual void drawRect(QPainter& painter, const QRectF& dirtyRect);
    virtual void mouseDown(QMouseEvent* event);

  private:
    friend class StatusHUDView;

    StatusHUDView* ensureView();
    void viewDestroyed();
    void removeIndicator(const QWidget* keep = nullptr);
    void setAlpha(double alpha);
    void startFade(double target, bool appearing, std::function<void()> completion);
    void interruptFade();
    void post(const char* name);
    Color foregroundColor() const;
    Color boxColor() const;

    QPointer<StatusHUDView> view_;
    QPointer<QLabel> statusLabel_;
    QPointer<QWidget> indicator_;
    std::shared_ptr<ProgressIndicatorLayer> progressIndicator_;
    StatusHUDMode mode_ = StatusHUDMode::indeterminate;
    QSizeF size_;
    QRectF boxRect_;
    bool useAnimation_ = true;
    double progress_ = 0;
    double alpha_ = 0;

    std::shared_ptr<AnimationGroup> fade_;
    bool fadeAppearing_ = false;
    std::function<void()> fadeCompletion_;
    std::uint64_t delayedHideGeneration_ = 0;
    int pendingDelayedHides_ = 0;
    // Work queued for later holds this weakly, so a HUD that is gone is left alone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace pex
