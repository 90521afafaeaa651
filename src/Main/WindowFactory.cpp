#include "Main/WindowFactory.h"

#include "Login/LoginViewController.h"
#include "Main/ViewController.h"
#include "Tools/WindowLifecycle.h"

namespace pex {

void WindowFactory::install() {
    WindowLifecycle::shared().setContents({
        [] { return static_cast<ViewController*>(new LoginViewController); },
        [] { return static_cast<ViewController*>(new shell::ViewController); },
    });
}

}  // namespace pex
