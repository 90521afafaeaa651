#include "Tools/SessionExpiryWindows.h"

#include "Tools/ContentWindow.h"
#include "Tools/WindowLifecycle.h"

namespace pex {

void SessionExpiryWindows::presentLogin(const std::function<void()>& clearStoredLogin) {
    loginWindow_ = WindowLifecycle::shared().endLogin(clearStoredLogin);
}

bool SessionExpiryWindows::isLoginPresented() const {
    return loginWindow_ && loginWindow_->isVisible() &&
           WindowLifecycle::shared().roleOf(loginWindow_) == WindowLifecycle::Role::login;
}

}  // namespace pex
