// The captcha page's web engine stays out of the application until the first captcha page is
// made: this program, like the application, links the login window but not the page, and
// loads the page's library from the application's folder on first use.
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QWidget>

#include "Login/CaptchaPage.h"
#include "Login/LoginViewController.h"
#include "support/WebEngineTestEnvironment.h"

namespace pex {
namespace {

const bool webEngineEnvironment = test::prepareWebEngineForTests();

bool webEngineLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libQt6WebEngineCore") != std::string::npos) return true;
    }
    return false;
}

TEST(CaptchaLoadingTest, TheWebEngineLoadsWithTheFirstCaptchaPage) {
    LoginViewController login;  // the login window is there without the web engine
    EXPECT_FALSE(webEngineLoaded());

    CaptchaPage::setLibraryDirectory(QStringLiteral(PEX_APPLICATION_DIR));
    CaptchaPage* first = CaptchaPage::make();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->metaObject()->className(), "pex::CaptchaViewController");
    EXPECT_TRUE(webEngineLoaded());
    // The engine, loaded after the application object, still makes the page's web view.
    QWidget* page = first->view();
    ASSERT_NE(page, nullptr);
    EXPECT_NE(page->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly), nullptr);
    CaptchaPage* second = CaptchaPage::make();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    delete first;
    delete second;
}

}  // namespace
}  // namespace pex
