#pragma once
// What the service client calls on HTTP 401: the login ends as a sign-out ends it
// (WindowLifecycle::endLogin): sessions end while the token is still stored, every window
// closes, hidden ones included, the client removes the token and the profile, and one login
// window opens. Main thread only.
#include <QPointer>

#include "service/SessionExpiryHandler.h"

namespace pex {

class ContentWindow;

class SessionExpiryWindows : public SessionExpiryHandler {
  public:
    void presentLogin(const std::function<void()>& clearStoredLogin) override;
    bool isLoginPresented() const override;

  private:
    QPointer<ContentWindow> loginWindow_;
};

}  // namespace pex
