#include "Main/HomeLeftView.h"

#include <QLabel>
#include <array>

#include "Main/HomeLeftCustomView.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"

namespace pex {

namespace {

constexpr int kFirstTop = 20;
constexpr int kSpacing = 10;
constexpr int kBottomInset = 20;
constexpr std::int64_t kSelectedBackground = 0x0FE3BD;

// The icon of each position; positions 2 and 7 keep the icon they were made with.
constexpr std::array<const char*, 8> kIcons = {"home_gj", "home_me", nullptr,    "home_sz",
                                               "home_cz", "home_bb", "home_xbk", nullptr};

}  // namespace

HomeLeftView::HomeLeftView(QWidget* parent) : LayerBackedView(parent) {
    setLayerBackgroundColor(Color::grey(1));
    for (HomeLeftCustomView* item :
         {toolBtn(), myBtn(), settingBtn(), rechageBtn(), versionBtn(), loingouBtn()}) {
        addSubview(this, item);
    }
    layoutMenu();
    updateSelection();
}

HomeLeftCustomView* HomeLeftView::lazyItem(HomeLeftCustomView*& slot,
                                           std::optional<QString> imageName, const char* title,
                                           int tag) {
    if (!slot) {
        slot = makeMenuItem(imageName, QString::fromUtf8(title), tag);
        // Items that are never shown still belong to the menu, hidden.
        slot->setParent(this);
        slot->hide();
    }
    return slot;
}

HomeLeftCustomView* HomeLeftView::toolBtn() {
    return lazyItem(toolBtn_, QStringLiteral("home_gj_s"), "面试助攻", 0);
}
HomeLeftCustomView* HomeLeftView::myBtn() {
    return lazyItem(myBtn_, QStringLiteral("home_me"), "个人中心", 1);
}
HomeLeftCustomView* HomeLeftView::historyBtn() {
    return lazyItem(historyBtn_, std::nullopt, "历史", 2);
}
HomeLeftCustomView* HomeLeftView::settingBtn() {
    return lazyItem(settingBtn_, QStringLiteral("home_sz"), "面试设置", 3);
}
HomeLeftCustomView* HomeLeftView::rechageBtn() {
    return lazyItem(rechageBtn_, QStringLiteral("home_cz"), "充值", 4);
}
HomeLeftCustomView* HomeLeftView::versionBtn() {
    return lazyItem(versionBtn_, QStringLiteral("home_bb"), "版本信息", 5);
}
HomeLeftCustomView* HomeLeftView::inviteBtn() {
    return lazyItem(inviteBtn_, QStringLiteral("home_xbk"), "学霸卡", 6);
}
HomeLeftCustomView* HomeLeftView::activewBtn() {
    return lazyItem(activewBtn_, QStringLiteral("home_hd"), "活动", 9);
}
HomeLeftCustomView* HomeLeftView::loingouBtn() {
    return lazyItem(loingouBtn_, QStringLiteral("home_tui"), "退出登录", 7);
}

const QList<HomeLeftCustomView*>& HomeLeftView::buttons() {
    if (buttons_.isEmpty()) {
        buttons_ = {toolBtn(),    myBtn(),      historyBtn(), settingBtn(),
                    rechageBtn(), versionBtn(), inviteBtn(),  activewBtn()};
    }
    return buttons_;
}

HomeLeftCustomView* HomeLeftView::makeMenuItem(const std::optional<QString>& imageName,
                                               const QString& title, int tag) {
    auto* item = new HomeLeftCustomView;
    if (imageName) item->setIcon(*imageName);
    item->titleLab()->setText(title);
    setTextColor(item->titleLab(), Color::grey(0));
    item->menuTag = tag;
    item->setCornerRadius(5);
    item->setLayerBackgroundColor(Color::clear());
    ClickGestureRecognizer::attach(
        item, [this](ClickGestureRecognizer& recognizer) { didTap(recognizer); });
    return item;
}

void HomeLeftView::layoutMenu() {
    layoutSubviews();
}

void HomeLeftView::layoutSubviews() {
    const int left = (width() - kItemWidth) / 2;
    int top = kFirstTop;
    for (HomeLeftCustomView* item :
         {toolBtn(), myBtn(), settingBtn(), rechageBtn(), versionBtn()}) {
        item->setGeometry(left, top, kItemWidth, kItemHeight);
        top += kItemHeight + kSpacing;
    }
    loingouBtn()->setGeometry(left, height() - kBottomInset - kItemHeight, kItemWidth, kItemHeight);
}

void HomeLeftView::updateSelection() {
    const auto& items = buttons();
    for (int position = 0; position < items.size(); ++position) {
        HomeLeftCustomView* item = items[position];
        const bool selected = position == selectIndex;
        item->setLayerBackgroundColor(selected ? colorWithHex(kSelectedBackground)
                                               : Color::clear());
        setTextColor(item->titleLab(), selected ? Color::grey(1) : themeSubTextColor());
        if (const char* icon = kIcons[static_cast<std::size_t>(position)]) {
            item->setIcon(QString::fromLatin1(icon) + (selected ? QStringLiteral("_s") : ""));
        }
    }
}

void HomeLeftView::didTap(ClickGestureRecognizer& recognizer) {
    auto* item = qobject_cast<HomeLeftCustomView*>(recognizer.view());
    if (!item) return;
    selectIndex = item->menuTag;
    updateSelection();
    if (didSelectItem) didSelectItem(item->menuTag);
}

}  // namespace pex
