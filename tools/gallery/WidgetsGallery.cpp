// The shared widgets: buttons and selection tiles, channel buttons, hover effects, the pop-up
// hosts, the in-window busy panel and the tip views, each in its states.
#include <QCoreApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMainWindow>
#include <QVBoxLayout>

#include "Gallery.h"
#include "Page/View/ChannelSelectionGroup.h"
#include "Tools/AppImages.h"
#include "Tools/ColorExtension.h"
#include "Tools/CommonTipView.h"
#include "Tools/CustomBacTextField.h"
#include "Tools/CustomButton.h"
#include "Tools/ExclusiveSelectionGroup.h"
#include "Tools/HUD.h"
#include "Tools/MouseTrackCompatible.h"
#include "Tools/PopView/MYBottomPopView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SettingSelectBtnView.h"
#include "Tools/SettingSelectColorView.h"
#include "Tools/SystemColors.h"
#include "Tools/TipAlertView.h"
#include "Tools/UIConstants.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/ApplicationWindows.h"

namespace pex::gallery {
namespace {

using std::chrono::milliseconds;

void paintBackground(QWidget* widget, const Color& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color.toQColor());
    palette.setColor(QPalette::WindowText, themeTextColor().toQColor());
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A plain white board of the given size for small views.
std::unique_ptr<QWidget> board(int width, int height) {
    auto widget = std::make_unique<QWidget>();
    widget->resize(width, height);
    paintBackground(widget.get(), Color::grey(1));
    return widget;
}

// A main window with some page text, so that overlays and their dimming show.
std::unique_ptr<QMainWindow> pageWindow() {
    auto window = std::make_unique<QMainWindow>();
    window->resize(750, 500);
    auto* page = new QWidget;
    paintBackground(page, themePageBackgroundColor());
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(40, 30, 40, 30);
    auto* title = new QLabel(QStringLiteral("面试助攻"));
    title->setFont(themeFont17());
    layout->addWidget(title);
    for (const char* line : {"选择面试语言与类型，然后点击开始面试。",
                             "面试记录会保存在本机，可随时搜索、回放和导出。"}) {
        auto* text = new QLabel(QString::fromUtf8(line));
        text->setFont(themeFont14());
        layout->addWidget(text);
    }
    layout->addStretch();
    window->setCentralWidget(page);
    return window;
}

// ---- Buttons and tiles ----

QImage customButtons() {
    auto host = board(520, 80);
    auto* plain = new CustomButton(host.get());
    plain->setGeometry(20, 20, 140, 40);
    plain->setBorderWidth(1);
    plain->setBorderColor(systemGrayColor());
    plain->setCornerRadius(6);
    plain->titleLab()->setText(QStringLiteral("中文 (普通话)"));
    plain->titleLab()->setFont(themeFont14());

    auto* green = new CustomButton(host.get());
    green->setGeometry(180, 20, 150, 40);
    green->setCornerRadius(20);
    green->setLayerBackgroundColor(colorWithHex(0x0FE3BD));
    green->titleLab()->setText(QStringLiteral("确定"));
    green->titleLab()->setFont(themeFont15());
    setTextColor(green->titleLab(), Color::grey(1));
    green->iconImg()->hide();

    auto* black = new CustomButton(host.get());
    black->setGeometry(350, 20, 150, 40);
    black->setCornerRadius(20);
    black->setLayerBackgroundColor(Color::grey(0));
    black->titleLab()->setText(QStringLiteral("立即充值"));
    black->titleLab()->setFont(themeFont15());
    setTextColor(black->titleLab(), Color::grey(1));
    black->iconImg()->hide();
    return snapshot(*host);
}

const Entry customButton{"CustomButton", "arrow_and_filled", customButtons};

Render tileGroup(std::optional<int> initial, std::optional<int> clicked) {
    return [initial, clicked] {
        auto host = board(420, 80);
        std::vector<CustomButtonView*> tiles;
        for (int i = 0; i < 3; ++i) {
            auto* tile = new CustomButtonView(host.get());
            tile->setGeometry(20 + i * 130, 20, 110, 40);
            tile->setTitle(QString::number(14 + 2 * i));
            tile->setImage(AppImages::named(QStringLiteral("ai_select")));
            tiles.push_back(tile);
        }
        auto group = std::make_shared<ExclusiveSelectionGroup>(initial);
        group->setViews(tiles);
        if (clicked) tiles[static_cast<std::size_t>(*clicked)]->viewTapped();
        return snapshot(*host);
    };
}

const Entry tilesNone{"CustomButtonView", "none_chosen", tileGroup(std::nullopt, std::nullopt)};
const Entry tilesSecond{"CustomButtonView", "second_chosen", tileGroup(1, std::nullopt)};
const Entry tilesClicked{"CustomButtonView", "third_clicked", tileGroup(1, 2)};

QImage settingTiles() {
    auto host = board(520, 80);
    const char* titles[] = {"TXT", "Word", "PDF"};
    for (int i = 0; i < 3; ++i) {
        auto* tile = new SettingSelectBtnView(host.get());
        tile->setGeometry(20 + i * 120, 20, 100, 40);
        tile->setCornerRadius(6);
        tile->setBorderWidth(1);
        tile->setBorderColor(i == 1 ? themeMainColor() : themeGrayColor());
        tile->titleLab()->setText(QString::fromLatin1(titles[i]));
        tile->isSelect = i == 1;
        if (tile->isSelect)
            tile->iconImg()->setImage(AppImages::named(QStringLiteral("ai_select")));
    }
    return snapshot(*host);
}

const Entry settingSelectBtn{"SettingSelectBtnView", "one_selected", settingTiles};

QImage colourTiles() {
    auto host = board(400, 80);
    const std::int64_t colours[] = {0x19CFAE, 0x333333, 0xFF4B44};
    for (int i = 0; i < 3; ++i) {
        auto* tile = new SettingSelectColorView(host.get());
        tile->setGeometry(20 + i * 120, 20, 100, 40);
        tile->colorV()->setLayerBackgroundColor(colorWithHex(colours[i]));
        tile->colorV()->setCornerRadius(4);
        if (i == 0) tile->iconImg()->setImage(AppImages::named(QStringLiteral("ai_select")));
    }
    return snapshot(*host);
}

const Entry settingSelectColor{"SettingSelectColorView", "first_selected", colourTiles};

QImage backgroundLabels() {
    auto host = board(520, 80);
    auto* plain = new CustomBacTextField(host.get());
    plain->setGeometry(20, 20, 140, 36);
    plain->textField()->setText(QStringLiteral("无背景"));
    auto* rounded = new CustomBacTextField(host.get());
    rounded->setGeometry(180, 20, 140, 36);
    rounded->setBackgroundColor(themeMainLightColor());
    rounded->setCornerRadius(8);
    rounded->textField()->setText(QStringLiteral("英文 → 中文"));
    auto* cut = new CustomBacTextField(host.get());
    cut->setGeometry(340, 20, 160, 36);
    cut->setBackgroundColor(themeLightBackgroundColor());
    cut->setCornerRadius(8);
    cut->textField()->setText(QStringLiteral("一段超过宽度会在末尾截断的很长的文字"));
    return snapshot(*host);
}

const Entry bacTextField{"CustomBacTextField", "plain_rounded_truncated", backgroundLabels};

// ---- Channel buttons ----

Render channelList(std::optional<int> initial, std::optional<int> clicked) {
    return [initial, clicked] {
        auto host = board(460, 80);
        struct Line {
            const char* name;
            const char* speed;
            Color colour;
        };
        const Line lines[] = {{"自动线路", "测速中", systemGrayColor()},
                              {"香港线路", "86ms", colorWithHex(0x19CFAE)},
                              {"美国线路", "不可用", colorWithHex(0xFF4B44)}};
        std::vector<ChannelButtonView*> buttons;
        for (int i = 0; i < 3; ++i) {
            auto* button = new ChannelButtonView(host.get());
            button->setGeometry(20 + i * 145, 20, 130, 44);
            button->setTitle(QString::fromUtf8(lines[i].name));
            button->setImage(AppImages::named(QStringLiteral("ai_select")));
            button->updateSubtitle(QString::fromUtf8(lines[i].speed), lines[i].colour);
            buttons.push_back(button);
        }
        auto group = std::make_shared<ChannelSelectionGroup>(initial);
        group->configure(buttons);
        if (clicked) buttons[static_cast<std::size_t>(*clicked)]->viewTapped();
        return snapshot(*host);
    };
}

const Entry channelsNone{"ChannelButtonView", "none_selected",
                         channelList(std::nullopt, std::nullopt)};
const Entry channelsFirst{"ChannelButtonView", "first_selected_testing",
                          channelList(0, std::nullopt)};
const Entry channelsClicked{"ChannelButtonView", "second_clicked_latency", channelList(0, 1)};

// ---- Hover effects ----

Render hover(bool entered) {
    return [entered] {
        auto host = board(300, 100);
        auto* view = new QWidget(host.get());
        view->setGeometry(40, 25, 220, 50);
        auto* label = makeTextLabel(QStringLiteral("悬停查看效果"), view);
        label->setFont(themeFont15());
        label->setGeometry(0, 0, 220, 50);
        label->setAlignment(Qt::AlignCenter);
        addHoverEffects(view, {HoverEffect::background(themeMainColor().withAlphaComponent(0.3)),
                               HoverEffect::cornerRadius(10)});
        host->show();
        settle();
        if (entered) {
            QEnterEvent event(QPointF(5, 5), QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)));
            QCoreApplication::sendEvent(view, &event);
        }
        return snapshot(*host);
    };
}

const Entry hoverExited{"MouseTracker", "hover_background_exited", hover(false)};
const Entry hoverEntered{"MouseTracker", "hover_background_entered", hover(true)};

// ---- Pop-up hosts ----

Render centrePopUp(QSize cardSize, Clock::Duration fade) {
    return [cardSize, fade] {
        auto window = pageWindow();
        ScopedKeyWindow key(window.get());
        window->show();
        settle();
        auto* tip = new CommonTipView;
        tip->resize(cardSize);
        MYCenterPopView::showInKeyWindow(tip);
        advance(fade);
        return snapshot(*window);
    };
}

const Entry popFading{"MYCenterPopView", "fading_in",
                      centrePopUp(QSize(300, 160), milliseconds(112))};
const Entry popShown{"MYCenterPopView", "shown", centrePopUp(QSize(300, 160), milliseconds(300))};
const Entry popLarge{"MYCenterPopView", "larger_than_window",
                     centrePopUp(QSize(820, 300), milliseconds(300))};

QImage popDismissing() {
    auto window = pageWindow();
    ScopedKeyWindow key(window.get());
    window->show();
    settle();
    auto* back = new CommonTipView;
    back->resize(300, 160);
    MYCenterPopView::showInKeyWindow(back);
    advance(milliseconds(300));
    auto* front = new CommonTipView;
    front->titleLabel()->setText(QStringLiteral("温馨提示"));
    front->contentLabel()->setText(QStringLiteral("正在关闭的上层弹窗"));
    front->resize(300, 140);
    MYCenterPopView::showInKeyWindow(front);
    advance(milliseconds(300));
    MYCenterPopView::dismiss();  // the front one fades, the one beneath stays
    advance(milliseconds(160));
    return snapshot(*window);
}

const Entry popTwo{"MYCenterPopView", "front_of_two_dismissing", popDismissing};

Render bottomPopUp(bool sliding) {
    return [sliding] {
        auto window = pageWindow();
        window->show();
        settle();
        auto* sheet = new QWidget;
        sheet->resize(750, 160);
        paintBackground(sheet, Color::grey(1));
        auto* text = makeTextLabel(QStringLiteral("底部弹出的内容（点击空白处关闭）"), sheet);
        text->setFont(themeFont15());
        text->setGeometry(0, 0, 750, 160);
        text->setAlignment(Qt::AlignCenter);
        auto* pop = new MYBottomPopView;
        pop->show(sheet, window->centralWidget());
        if (sliding) {
            pop->dismiss();
            advance(milliseconds(128));
        }
        return snapshot(*window);
    };
}

const Entry bottomShown{"MYBottomPopView", "shown", bottomPopUp(false)};
const Entry bottomSliding{"MYBottomPopView", "sliding_out", bottomPopUp(true)};

// ---- Busy panel and tips ----

// With `overText`, the panel lies over lines of dark text, as over the session window's
// answers.
Render hudState(QString message, bool overText = false) {
    return [message, overText] {
        auto window = pageWindow();
        ScopedKeyWindow key(window.get());
        if (overText) {
            QString lines;
            for (int i = 0; i < 20; ++i)
                lines += QStringLiteral("这是一段很长的回答文字，用来看清面板下面的内容。\n");
            auto* text = makeTextLabel(lines, window->centralWidget());
            text->setFont(themeFont15());
            text->setGeometry(window->centralWidget()->rect().adjusted(40, 120, 0, 0));
            text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        }
        window->show();
        settle();
        HUD::show(message);
        advance(milliseconds(250));  // a few spinner steps
        QImage image = snapshot(*window);
        HUD::hide();
        return image;
    };
}

const Entry hudLoading{"HUD", "loading", hudState(QStringLiteral("Loading..."))};
const Entry hudSaving{"HUD", "saving", hudState(QStringLiteral("Saving..."))};
const Entry hudStopped{"HUD", "stopped_over_answers", hudState(QStringLiteral("已停止"), true)};

Render tipCard(QString title, QString content, QSize size) {
    return [title, content, size] {
        auto host = board(size.width() + 40, size.height() + 80);
        paintBackground(host.get(), Color::grey(0.85));
        auto* tip = new CommonTipView(host.get());
        tip->setGeometry(20, 20, size.width(), size.height());
        if (!title.isEmpty()) tip->titleLabel()->setText(title);
        if (!content.isEmpty()) tip->contentLabel()->setText(content);
        return snapshot(*host);
    };
}

const Entry tipDefault{"CommonTipView", "update_default", tipCard({}, {}, QSize(300, 160))};
const Entry tipCustom{
    "CommonTipView", "custom_texts",
    tipCard(QStringLiteral("温馨提示"), QStringLiteral("确定要退出登录吗？"), QSize(300, 140))};
const Entry tipLong{"CommonTipView", "long_text_grows",
                    tipCard(QStringLiteral("温馨提示"),
                            QStringLiteral("注销账号后，账号下的所有数据（包括剩余时长、面试记录和"
                                           "充值记录）都将被永久删除且无法恢复，请谨慎操作。"),
                            QSize(300, 140))};

QImage successTip() {
    auto window = pageWindow();
    window->show();
    settle();
    auto* button = new QWidget(window->centralWidget());
    TipAlertView::shared().show(button, QStringLiteral("导出成功，地址已复制，粘贴即可查看"),
                                QStringLiteral("确定"));
    QImage image = snapshot(*window);
    TipAlertView::shared().sureTip1();
    return image;
}

const Entry success{"CustomSuccessTipView", "export_done", successTip};

QImage rechargeTip() {
    auto window = pageWindow();
    window->show();
    settle();
    HomeTipNoView* tip = TipAlertView::shared().tipView();
    addSubview(window->centralWidget(), tip);
    tip->setGeometry(window->centralWidget()->rect());
    QImage image = snapshot(*window);
    TipAlertView::shared().sureTip();
    return image;
}

const Entry recharge{"HomeTipNoView", "recharge", rechargeTip};

}  // namespace
}  // namespace pex::gallery
