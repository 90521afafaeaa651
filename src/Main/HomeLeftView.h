#pragma once
// The sidebar menu: five items stacked from the top ("面试助攻", "个人中心", "面试设置", "充值",
// "版本信息") and "退出登录" at the bottom. A click selects the item and reports its tag.
// Three more items ("历史", "学霸卡", "活动") are made and take part in the selection, but are
// never shown.
#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "Tools/LayerBackedView.h"

namespace pex {

class ClickGestureRecognizer;
class HomeLeftCustomView;

class HomeLeftView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kItemWidth = 148;
    static constexpr int kItemHeight = 43;

    explicit HomeLeftView(QWidget* parent = nullptr);

    std::function<void(int tag)> didSelectItem;
    int selectIndex = 0;

    // The eight selectable items, by position: tool, my, history, setting, recharge, version,
    // invite, activity.
    const QList<HomeLeftCustomView*>& buttons();

    HomeLeftCustomView* toolBtn();
    HomeLeftCustomView* myBtn();
    HomeLeftCustomView* historyBtn();
    HomeLeftCustomView* settingBtn();
    HomeLeftCustomView* rechageBtn();
    HomeLeftCustomView* versionBtn();
    HomeLeftCustomView* inviteBtn();
    HomeLeftCustomView* activewBtn();
    HomeLeftCustomView* loingouBtn();

    HomeLeftCustomView* makeMenuItem(const std::optional<QString>& imageName, const QString& title,
                                     int tag);
    void layoutMenu();
    void updateSelection();
    void didTap(ClickGestureRecognizer& recognizer);

  protected:
    void layoutSubviews() override;

  private:
    HomeLeftCustomView* lazyItem(HomeLeftCustomView*& slot, std::optional<QString> imageName,
                                 const char* title, int tag);

    HomeLeftCustomView* toolBtn_ = nullptr;
    HomeLeftCustomView* myBtn_ = nullptr;
    HomeLeftCustomView* historyBtn_ = nullptr;
    HomeLeftCustomView* settingBtn_ = nullptr;
    HomeLeftCustomView* rechageBtn_ = nullptr;
    HomeLeftCustomView* versionBtn_ = nullptr;
    HomeLeftCustomView* inviteBtn_ = nullptr;
    HomeLeftCustomView* activewBtn_ = nullptr;
    HomeLeftCustomView* loingouBtn_ = nullptr;
    QList<HomeLeftCustomView*> buttons_;
};

}  // namespace pex
