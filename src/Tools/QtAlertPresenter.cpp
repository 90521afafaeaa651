#include "Tools/QtAlertPresenter.h"

#include "Tools/AppImages.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

Alert QtAlertPresenter::makeAlert(const std::string& message, const std::string& informativeText) {
    Alert alert;
    alert.alertStyle = Alert::Style::warning;
    alert.messageText = QString::fromStdString(message);
    alert.informativeText = QString::fromStdString(informativeText);
    // Without the logo the alert keeps the standard warning icon.
    alert.icon = AppImages::named(QStringLiteral("logo"));
    alert.addButton(QStringLiteral("确定"));
    return alert;
}

void QtAlertPresenter::presentAlert(const std::string& message,
                                    const std::string& informativeText) {
    assertMainThread("QtAlertPresenter::presentAlert");
    makeAlert(message, informativeText).runModal();
}

}  // namespace pex
