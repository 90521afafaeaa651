// Part of the captcha page's library: tells the login window how to make a page as soon as the
// library is loaded.
#include "Login/CaptchaPage.h"
#include "Login/CaptchaViewController.h"

namespace pex {
namespace {

const bool registered = [] {
    CaptchaPage::registerMaker([] { return new CaptchaViewController; });
    return true;
}();

}  // namespace
}  // namespace pex
