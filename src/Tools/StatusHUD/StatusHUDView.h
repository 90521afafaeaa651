#pragma once
// The overlay view of a StatusHUD: it covers its host, follows the host's size, and hands
// drawing and mouse-down to the HUD.
#include <QPointer>
#include <QWidget>

namespace pex {

class StatusHUD;

class StatusHUDView : public QWidget {
    Q_OBJECT
  public:
    explicit StatusHUDView(StatusHUD& hud);

    // Starts or stops following `host`'s size.
    void followHost(QWidget* host);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    StatusHUD& hud_;  // the HUD owns this view (or its host does, and the HUD outlives neither)
    QPointer<QWidget> followed_;
    // The widget under an unmasked HUD that was handed the current press; gets its release.
    QPointer<QWidget> clickTarget_;
};

}  // namespace pex
