#include "Tools/QtAlertPresenter.h"

#include <gtest/gtest.h>
#include <QMessageBox>

#include "Tools/AppImages.h"

namespace pex {
namespace {

TEST(QtAlertPresenterTest, AWarningWithTheLogoAndOneConfirmButton) {
    std::vector<Alert> shown;
    Alert::setModalHandlerForTesting([&](const Alert& alert) {
        shown.push_back(alert);
        return Alert::firstButtonReturn;
    });
    QtAlertPresenter presenter;
    presenter.presentAlert("登录已过期", "http://127.0.0.1:18620/user/info");
    Alert::setModalHandlerForTesting(nullptr);

    ASSERT_EQ(shown.size(), 1u);
    const Alert& alert = shown.front();
    EXPECT_EQ(alert.messageText, QStringLiteral("登录已过期"));
    EXPECT_EQ(alert.informativeText, QStringLiteral("http://127.0.0.1:18620/user/info"));
    EXPECT_EQ(alert.alertStyle, Alert::Style::warning);
    EXPECT_EQ(alert.buttons(), QStringList{QStringLiteral("确定")});
    EXPECT_EQ(alert.icon.cacheKey(), AppImages::named("logo").cacheKey());
    EXPECT_FALSE(alert.icon.isNull());
}

TEST(AppImagesTest, ShipsTheNamedPicturesAtTwiceTheirSize) {
    const QStringList names = AppImages::names();
    for (const char* name :
         {"logo",         "close",         "success",           "tishi_l",   "tishi_r",
          "tip_bg",       "tip_bg1",       "translate_down",    "ai_select", "swith_mode",
          "icon_pd_true", "icon_pd_false", "start_font_length", "home_gj",   "home_gj_s",
          "home_me",      "home_me_s",     "home_sz",           "home_sz_s", "home_cz",
          "home_cz_s",    "home_bb",       "home_bb_s",         "home_xbk",  "home_xbk_s",
          "home_hd",      "home_tui"}) {
        EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << name;
        const QPixmap picture = AppImages::named(QString::fromLatin1(name));
        ASSERT_FALSE(picture.isNull()) << name;
        EXPECT_EQ(picture.devicePixelRatio(), 2) << name;
    }
    EXPECT_EQ(AppImages::named("home_me").deviceIndependentSize(), QSizeF(15, 15));
    EXPECT_TRUE(AppImages::named("no_such_picture").isNull());
    EXPECT_TRUE(AppImages::named("../images/logo").isNull());
    EXPECT_TRUE(AppImages::named(QString()).isNull());
}

}  // namespace
}  // namespace pex
