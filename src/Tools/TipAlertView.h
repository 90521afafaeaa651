#pragma once
// The one presenter of the tip overlays. `show` lays the success tip over a page with a
// message and a button title; the tip goes when its button is clicked, and the same tip view
// serves the next show. The recharge tip (`tipView`) is built with its message "请充值后使用该
// 功能" for pages that need it. Main thread only.
#include <QPointer>
#include <QString>

#include "Tools/CustomSuccessTipView.h"
#include "Tools/HomeTipNoView.h"

namespace pex {

class TipAlertView {
  public:
    // Made on first use, kept for the life of the process.
    static TipAlertView& shared();

    // The recharge tip, built on first use (and again if a host took it down with it).
    HomeTipNoView* tipView();
    // The success tip, built on first use (and again if a host took it down with it).
    CustomSuccessTipView* suceessView();

    // Lays the success tip over `view`'s superview (over `view` itself when it has none), with
    // `message` and the button title `buttonTitle`. A tip already shown moves there.
    void show(QWidget* view, const QString& message, const QString& buttonTitle);

    // The recharge tip's button: takes it off the screen.
    void sureTip();
    // The success tip's button: takes it off the screen.
    void sureTip1();

  private:
    TipAlertView() = default;

    QPointer<HomeTipNoView> tipView_;
    QPointer<CustomSuccessTipView> suceessView_;
};

}  // namespace pex
