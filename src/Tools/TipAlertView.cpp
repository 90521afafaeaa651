#include "Tools/TipAlertView.h"

#include "Tools/ClickGestureRecognizer.h"
#include "Tools/PinToParent.h"
#include "Tools/ViewHelpers.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

TipAlertView& TipAlertView::shared() {
    // Never destroyed: its views may outlive the application object at exit.
    static TipAlertView* const instance = new TipAlertView;
    return *instance;
}

HomeTipNoView* TipAlertView::tipView() {
    if (!tipView_) {
        auto* tip = new HomeTipNoView;
        tip->tipLab()->setText(QStringLiteral("请充值后使用该功能"));
        ClickGestureRecognizer::attach(tip->sureBtn(),
                                       [this](ClickGestureRecognizer&) { sureTip(); });
        tipView_ = tip;
    }
    return tipView_.data();
}

CustomSuccessTipView* TipAlertView::suceessView() {
    if (!suceessView_) {
        auto* tip = new CustomSuccessTipView;
        ClickGestureRecognizer::attach(tip->sureBtn(),
                                       [this](ClickGestureRecognizer&) { sureTip1(); });
        suceessView_ = tip;
    }
    return suceessView_.data();
}

void TipAlertView::show(QWidget* view, const QString& message, const QString& buttonTitle) {
    assertMainThread("TipAlertView::show");
    if (!view) return;
    QWidget* host = view->parentWidget() ? view->parentWidget() : view;
    CustomSuccessTipView* tip = suceessView();
    // The tip cannot lie over itself.
    if (host == tip || tip->isAncestorOf(host)) return;
    addSubview(host, tip);
    tip->tipLab()->setText(message);
    tip->sureBtn()->titleLab()->setText(buttonTitle);
    pinEdgesToParent(tip);
}

void TipAlertView::sureTip() {
    removeFromSuperview(tipView_.data());
}

void TipAlertView::sureTip1() {
    removeFromSuperview(suceessView_.data());
}

}  // namespace pex
