#pragma once
// Shows the service client's alerts. The application installs one that runs a modal warning
// alert (one button "确定", the image "logo"); tests install a fake that records the calls.
#include <string>

namespace pex {

class ServiceAlertPresenter {
  public:
    virtual ~ServiceAlertPresenter() = default;
    // Called on the main thread; the answer is not used.
    virtual void presentAlert(const std::string& message, const std::string& informativeText) = 0;
};

}  // namespace pex
