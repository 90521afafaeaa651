#include "Page/Purchase/PurchaseViewController.h"

#include "Page/PageTitleLabel.h"

namespace pex {

PurchaseViewController::PurchaseViewController(QObject* parent) : BaseViewController(parent) {
    setTitle(QStringLiteral("充值"));
}

void PurchaseViewController::setupUI() {
    BaseViewController::setupUI();
    addPageTitleLabel(view(), title());
}

}  // namespace pex
