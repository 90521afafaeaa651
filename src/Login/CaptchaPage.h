#pragma once
// The captcha page as the login window knows it: a view controller that hands the token of a
// solved puzzle to `onValidateReceived`. The page itself runs in a web view, whose engine is
// large and slow to load; it lives in a library of its own (CaptchaViewController), loaded
// the first time a captcha page is needed, so the application starts without it.
//
// The library registers how to make a page when it is loaded; a program that links the page
// in directly (the tests) has it registered from the start. Main thread only.
#include <QString>
#include <functional>
#include <string>

#include "platform/appkit/ViewController.h"

namespace pex {

class CaptchaPage : public ViewController {
    Q_OBJECT
  public:
    // The file name of the page's library, beside the application's executable.
    static constexpr const char* kLibraryName = "pexmora-captcha";

    using ViewController::ViewController;
    ~CaptchaPage() override;

    // Set by the owner before the view loads; called on the main thread.
    std::function<void(const std::string& validate)> onValidateReceived;

    using Maker = std::function<CaptchaPage*()>;
    // Called once by the page's library as it is loaded.
    static void registerMaker(Maker maker);
    // A new page, its library loaded first if need be; none when it cannot be loaded.
    static CaptchaPage* make();

    // Where the library is looked for; the executable's folder unless set (tests set it).
    static void setLibraryDirectory(const QString& folder);
};

}  // namespace pex
