#pragma once
// Ends the login in the windows when the service answers HTTP 401. The application installs
// one that opens a new login window (510 × 480, titled "登录", centred, key and in front) and
// closes every other window; tests install a fake that counts.
namespace pex {

class SessionExpiryHandler {
  public:
    virtual ~SessionExpiryHandler() = default;
    // Called on the main thread after the token and the profile were removed.
    virtual void presentLogin() = 0;
    // True while the login window opened by presentLogin still shows the login, so that
    // further 401 replies in the meantime open nothing more.
    virtual bool isLoginPresented() const = 0;
};

}  // namespace pex
