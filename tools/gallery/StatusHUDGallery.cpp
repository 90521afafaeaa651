// The progress HUD in each of its modes, styles, masks and positions, over a sample page.
#include <QLabel>
#include <QVBoxLayout>

#include "Gallery.h"
#include "Tools/ColorExtension.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/UIConstants.h"

namespace pex::gallery {
namespace {

// A 750 × 500 window content with some text, so the box's translucency shows.
std::unique_ptr<QWidget> samplePage() {
    auto page = std::make_unique<QWidget>();
    page->resize(750, 500);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, themePageBackgroundColor().toQColor());
    palette.setColor(QPalette::WindowText, themeTextColor().toQColor());
    page->setPalette(palette);
    page->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(page.get());
    layout->setContentsMargins(40, 30, 40, 30);
    auto* title = new QLabel(QStringLiteral("面试助攻"));
    title->setFont(themeFont17());
    layout->addWidget(title);
    for (const char* line : {"选择面试语言与类型，然后点击开始面试。",
                             "The session is billed by the minute while it runs.",
                             "面试记录会保存在本机，可随时搜索、回放和导出。"}) {
        auto* text = new QLabel(QString::fromUtf8(line));
        text->setFont(themeFont14());
        layout->addWidget(text);
    }
    layout->addStretch();
    return page;
}

struct Setup {
    StatusHUDStyle style = StatusHUDStyle::dark;
    StatusHUDMaskType mask = StatusHUDMaskType::none;
    StatusHUDPosition position = StatusHUDPosition::bottom;
    double progress = 0;
};

Render hudState(QString text, StatusHUDMode mode, Setup setup = {}) {
    return [text, mode, setup] {
        auto page = samplePage();
        StatusHUD hud;
        hud.containerView = page.get();
        hud.style = setup.style;
        hud.maskType = setup.mask;
        hud.position = setup.position;
        hud.setProgress(setup.progress);
        page->show();
        hud.show(text, mode);
        settle();  // the spinner's first step lights fin 0
        // Let the fade in finish and the spinner run a few steps, so its tail shows.
        advance(std::chrono::milliseconds(300));
        return snapshot(*page);
    };
}

const Entry busy{"StatusHUD", "busy",
                 hudState(QStringLiteral("登录中..."), StatusHUDMode::indeterminate)};
const Entry busyNoText{"StatusHUD", "busy_without_text",
                       hudState(QString(), StatusHUDMode::indeterminate)};
const Entry text{"StatusHUD", "text",
                 hudState(QStringLiteral("验证码已发送，请注意查收"), StatusHUDMode::text)};
const Entry error{"StatusHUD", "error",
                  hudState(QStringLiteral("网络连接失败，请稍后重试"), StatusHUDMode::error)};
const Entry success{"StatusHUD", "success",
                    hudState(QStringLiteral("保存成功"), StatusHUDMode::success)};
const Entry info{"StatusHUD", "info",
                 hudState(QStringLiteral("请先完成面试设置"), StatusHUDMode::info)};
const Entry determinate{
    "StatusHUD", "determinate",
    hudState(QStringLiteral("简历上传中 60%"), StatusHUDMode::determinate, {.progress = 0.6})};
const Entry light{"StatusHUD", "light_style",
                  hudState(QStringLiteral("登录中..."), StatusHUDMode::indeterminate,
                           {.style = StatusHUDStyle::light})};
const Entry custom{
    "StatusHUD", "custom_style",
    hudState(QStringLiteral("已复制 ID"), StatusHUDMode::success,
             {.style = StatusHUDStyle::customColors(Color::grey(1), themeMainColor())})};
const Entry blackMask{"StatusHUD", "black_mask",
                      hudState(QStringLiteral("正在退出登录..."), StatusHUDMode::indeterminate,
                               {.mask = StatusHUDMaskType::black})};
const Entry top{"StatusHUD", "top",
                hudState(QStringLiteral("余额不足"), StatusHUDMode::error,
                         {.position = StatusHUDPosition::top})};
const Entry center{"StatusHUD", "center",
                   hudState(QStringLiteral("已停止"), StatusHUDMode::text,
                            {.position = StatusHUDPosition::center})};
const Entry longText{
    "StatusHUD", "long_text",
    hudState(QStringLiteral("网络连接失败，请检查网络设置后重试。网络连接失败，请检查网络设置后"
                            "重试。网络连接失败，请检查网络设置后重试。"),
             StatusHUDMode::text)};
const Entry wrappedText{
    "StatusHUD", "wrapped_text",
    hudState(QStringLiteral("服务器返回：").repeated(8) +
                 QStringLiteral("https://example.invalid/a/very/long/address/without/any/space/"
                                "in/it/that/cannot/fit/on/one/line/of/the/box"),
             StatusHUDMode::error)};

}  // namespace
}  // namespace pex::gallery
