#pragma once
// What the application's two kinds of window show, handed to the window lifecycle
// (Tools/WindowLifecycle.h), which opens, keeps and closes them:
//
//   login window   a new LoginViewController
//   main window    a new shell::ViewController
//
// Main thread only.
namespace pex {

struct WindowFactory {
    // Installs the contents; start-up (and tests of whole windows) call it once.
    static void install();
};

}  // namespace pex
