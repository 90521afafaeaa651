// The sidebar menu: its look, selection by click, the logout item, the two notifications and
// a sidebar that is gone.
#include "Main/SidebarViewController.h"

#include <QLabel>
#include <vector>

#include "Main/HomeLeftCustomView.h"
#include "Main/HomeLeftView.h"
#include "Tools/ColorExtension.h"
#include "Tools/NotificationNames.h"
#include "Tools/ViewHelpers.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

class RecordingDelegate : public SidebarDelegate {
  public:
    void showPage(int tag) override { tags.push_back(tag); }
    std::vector<int> tags;
};

class SidebarTest : public test::IsolatedTest {
  protected:
    SidebarTest() {
        sidebar_ = new SidebarViewController;
        sidebar_->setDelegate(&delegate_);
        window_.resize(180, 650);
        sidebar_->view()->setParent(&window_);
        sidebar_->view()->resize(window_.size());
        window_.show();
    }
    ~SidebarTest() override { delete sidebar_.data(); }

    HomeLeftView* menu() { return sidebar_->leftView(); }

    // Which of the five shown upper items look selected, in their order on screen.
    std::vector<bool> selectedLook() {
        std::vector<bool> looks;
        for (HomeLeftCustomView* item : {menu()->toolBtn(), menu()->myBtn(), menu()->settingBtn(),
                                         menu()->rechageBtn(), menu()->versionBtn()}) {
            const auto& background = item->layerBackgroundColor();
            looks.push_back(background && hexString(*background) == "#0FE3BD" &&
                            background->alphaComponent() == 1);
        }
        return looks;
    }

    QWidget window_;
    QPointer<SidebarViewController> sidebar_;
    RecordingDelegate delegate_;
};

TEST_F(SidebarTest, AFreshMenuShowsTheFirstItemSelected) {
    struct Look {
        HomeLeftCustomView* item;
        const char* title;
        const char* icon;
    };
    const Look looks[] = {{menu()->toolBtn(), "面试助攻", "home_gj_s"},
                          {menu()->myBtn(), "个人中心", "home_me"},
                          {menu()->settingBtn(), "面试设置", "home_sz"},
                          {menu()->rechageBtn(), "充值", "home_cz"},
                          {menu()->versionBtn(), "版本信息", "home_bb"},
                          {menu()->loingouBtn(), "退出登录", "home_tui"}};
    for (const Look& look : looks) {
        SCOPED_TRACE(look.title);
        EXPECT_TRUE(look.item->isVisible());
        EXPECT_EQ(look.item->titleLab()->text(), QString::fromUtf8(look.title));
        EXPECT_EQ(look.item->iconName(), QString::fromLatin1(look.icon));
        EXPECT_EQ(look.item->size(), QSize(148, 43));
    }
    EXPECT_EQ(selectedLook(), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(hexString(textColor(menu()->toolBtn()->titleLab())), hexString(Color::grey(1)));
    EXPECT_EQ(hexString(textColor(menu()->myBtn()->titleLab())), hexString(colorWithHex(0x666666)));
    EXPECT_EQ(menu()->myBtn()->layerBackgroundColor(), Color::clear());
    EXPECT_EQ(hexString(textColor(menu()->loingouBtn()->titleLab())), hexString(Color::grey(0)));
    // Stacked from 20 below the top, 10 apart; logout 20 above the bottom.
    EXPECT_EQ(menu()->toolBtn()->y(), 20);
    EXPECT_EQ(menu()->myBtn()->y(), 20 + 43 + 10);
    EXPECT_EQ(menu()->loingouBtn()->geometry().bottom() + 1, menu()->height() - 20);
    // The three items that are never shown still exist.
    for (HomeLeftCustomView* hidden :
         {menu()->historyBtn(), menu()->inviteBtn(), menu()->activewBtn()}) {
        EXPECT_FALSE(hidden->isVisible());
    }
    EXPECT_EQ(menu()->buttons().size(), 8);
}

TEST_F(SidebarTest, ClickingAnItemSelectsItAndAsksForItsPage) {
    test::click(menu()->myBtn());
    EXPECT_EQ(delegate_.tags, std::vector<int>{1});
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, true, false, false, false}));
    EXPECT_EQ(menu()->myBtn()->iconName(), QStringLiteral("home_me_s"));
    EXPECT_EQ(menu()->toolBtn()->iconName(), QStringLiteral("home_gj"));
    EXPECT_EQ(hexString(textColor(menu()->myBtn()->titleLab())), hexString(Color::grey(1)));

    test::click(menu()->versionBtn());
    test::click(menu()->rechageBtn());
    EXPECT_EQ(delegate_.tags, (std::vector<int>{1, 5, 4}));
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, false, false, true, false}));
}

TEST_F(SidebarTest, LogoutLeavesNoShownItemSelected) {
    test::click(menu()->loingouBtn());
    EXPECT_EQ(delegate_.tags, std::vector<int>{7});
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_EQ(hexString(textColor(menu()->loingouBtn()->titleLab())), hexString(Color::grey(0)));
    EXPECT_EQ(menu()->loingouBtn()->layerBackgroundColor(), Color::clear());
}

TEST_F(SidebarTest, NotificationsWithAMessageTextShowTheirPage) {
    auto& centre = NotificationCenter::defaultCenter();
    centre.post(NotificationNames::aiSetting, nullptr, {{"message", "打开设置"}});
    EXPECT_EQ(delegate_.tags, std::vector<int>{3});
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, false, true, false, false}));

    centre.post(NotificationNames::purchase, this, {{"message", "去充值"}});  // any sender
    EXPECT_EQ(delegate_.tags, (std::vector<int>{3, 4}));
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, false, false, true, false}));

    // Without user info, without "message" or with a message that is not text: nothing.
    const nlohmann::json ignored[] = {nullptr,
                                      {{"text", "打开设置"}},
                                      {{"message", 1}},
                                      {{"message", nullptr}},
                                      nlohmann::json::array({"message"})};
    for (const auto& info : ignored) {
        centre.post(NotificationNames::aiSetting, nullptr, info);
        centre.post(NotificationNames::purchase, nullptr, info);
    }
    centre.post(NotificationNames::interviewType, nullptr, {{"message", "x"}});
    EXPECT_EQ(delegate_.tags, (std::vector<int>{3, 4}));
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, false, false, true, false}));
}

TEST_F(SidebarTest, AGoneSidebarNeitherReactsNorCallsItsDelegate) {
    HomeLeftView* kept = menu();
    kept->setParent(&window_);  // the menu view outlives its controller
    kept->show();
    delete sidebar_.data();
    test::click(kept->myBtn());
    NotificationCenter::defaultCenter().post(NotificationNames::purchase, nullptr,
                                             {{"message", "去充值"}});
    EXPECT_TRUE(delegate_.tags.empty());
}

TEST_F(SidebarTest, ADelegateThatIsGoneIsNotCalled) {
    class ObjectDelegate : public QObject, public SidebarDelegate {
      public:
        void showPage(int) override { ADD_FAILURE() << "a destroyed delegate was called"; }
    };
    auto* delegate = new ObjectDelegate;
    sidebar_->setDelegate(delegate);
    delete delegate;
    test::click(menu()->myBtn());
    EXPECT_EQ(sidebar_->delegate(), nullptr);
    EXPECT_EQ(selectedLook(), (std::vector<bool>{false, true, false, false, false}));
}

}  // namespace
}  // namespace pex
