#pragma once
// Ends the login in the windows when the service answers HTTP 401. The application installs
// one that closes every window, then opens a new login window (510 × 480, titled "登录",
// centred, key and in front); tests install a fake that counts.
#include <functional>

namespace pex {

class SessionExpiryHandler {
  public:
    virtual ~SessionExpiryHandler() = default;
    // Called on the main thread. Closes the windows first, so that a running session still
    // sends its final usage report with the token, then calls `clearStoredLogin` (which
    // removes the token and the profile), then opens the login window.
    virtual void presentLogin(const std::function<void()>& clearStoredLogin) = 0;
    // True while the login window opened by presentLogin still shows the login, so that
    // further 401 replies in the meantime open nothing more.
    virtual bool isLoginPresented() const = 0;
};

}  // namespace pex
