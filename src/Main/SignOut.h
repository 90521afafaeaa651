#pragma once
// Ends the signed-in state in the windows. Logout, account log-off and an expired login
// (HTTP 401) all end the same way, in this order:
//
//   1. the progress HUD and the in-window busy indicator are hidden;
//   2. every window is closed, so that a running session still sends its final usage report
//      while the token is there;
//   3. "LOGIN_TOKEN" and "userInfo" are removed (and "isAutoLogin" when asked);
//   4. one new login window opens and becomes the window the application delegate keeps, so
//      the HUD has a host again.
//
// Main thread only.
#include <QPointer>

#include "service/SessionExpiryHandler.h"
#include "service/SettingsStore.h"

namespace pex {

class ContentWindow;

class SignOut {
  public:
    // All four steps; answers the new login window.
    static ContentWindow* endLogin(SettingsStore::AutoLogin autoLogin);

    // Steps 1 and 2: nothing is left on screen of the signed-in state.
    static void closeWindows();
    // Step 4.
    static ContentWindow* presentLoginWindow();
};

// What the service client calls on HTTP 401: closes the windows while the token is still
// stored, lets the client remove the token and the profile, then opens the login window.
class SessionExpiryWindows : public SessionExpiryHandler {
  public:
    void presentLogin(const std::function<void()>& clearStoredLogin) override;
    bool isLoginPresented() const override;

  private:
    QPointer<ContentWindow> loginWindow_;
};

}  // namespace pex
