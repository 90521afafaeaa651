#pragma once
// Shows the service client's alerts: a modal warning alert with the application's "logo",
// one button "确定", the message as its text and the informative text (an address, or empty)
// under it. Main thread only; the answer is ignored. The application installs one with
// HttpDatas::setAlertPresenter.
#include <string>

#include "platform/appkit/Alert.h"
#include "service/ServiceAlertPresenter.h"

namespace pex {

class QtAlertPresenter : public ServiceAlertPresenter {
  public:
    // Texts are UTF-8.
    void presentAlert(const std::string& message, const std::string& informativeText) override;

    // The alert presentAlert runs.
    static Alert makeAlert(const std::string& message, const std::string& informativeText);
};

}  // namespace pex
