// The purchase page with one and with three packages on sale, and its QR payment pop-up for
// each payment method, against a stand-in service started for the picture.
#include <QPalette>
#include <chrono>
#include <tuple>

#include "Gallery.h"
#include "Tools/ContentWindow.h"
#include "Page/Purchase/PurchaseViewController.h"
#include "Page/View/PayOptionGroupView.h"
#include "Page/View/RechargeDescribeView.h"
#include "StandinScene.h"
#include "platform/appkit/ApplicationWindows.h"
#include "service/SettingsStore.h"
#include "standin-service/StandinState.h"

namespace pex::gallery {
namespace {

using nlohmann::json;
constexpr const char* kPhone = "13800138000";
const QSize kPageSize{750, 500};

// The purchase page in a window of its own, once its packages have arrived; `payIndex` set
// shows the QR pop-up of an order paid that way.
QImage renderPurchase(int packages, std::optional<int> payIndex) {
    StandinScene scene;
    SettingsStore::set(SettingsKeys::loginToken, scene.service().state().issueToken(kPhone));
    json list = json::array();
    for (const auto& [id, intro, name, price, label] :
         {std::tuple{1, "适合一次短面试", "1小时面试时长", "19.90", ""},
          std::tuple{2, "最受欢迎的选择", "2小时面试时长", "39.90", "推荐"},
          std::tuple{3, "多轮面试更从容", "5小时面试时长", "89.90", "超值"}}) {
        if (packages == 1 && id != 2) continue;
        list.push_back({{"ID", id},
                        {"intro", intro},
                        {"goods_name", name},
                        {"price", price},
                        {"label", label},
                        {"currency_cn", "¥"}});
    }
    scene.service().addApiPath("GET", "/goods/list",
                               [list](const standin::Call&) { return standin::Reply::ok(list); });
    auto* page = new PurchaseViewController;
    ContentWindow window(page);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setContentSize(kPageSize);
    window.show();
    ScopedKeyWindow key(&window);
    waitFor([&] { return page->rechargeModels().size() == static_cast<std::size_t>(packages); },
            "the packages");
    if (payIndex) {
        page->payGroup()->selectOption(*payIndex);
        page->buyTap();
        waitFor([&] { return page->qrCodeView() != nullptr; }, "the QR pop-up");
        advance(std::chrono::milliseconds(300));  // the pop-up fades in
    }
    return snapshot(window);
}

const Entry threePackages{"PurchaseViewController", "three_packages",
                          [] { return renderPurchase(3, std::nullopt); }};
const Entry onePackage{"PurchaseViewController", "one_package",
                       [] { return renderPurchase(1, std::nullopt); }};
const Entry weChatCode{"PayQRCodeView", "wechat", [] { return renderPurchase(3, 0); }};
const Entry alipayCode{"PayQRCodeView", "alipay", [] { return renderPurchase(3, 1); }};

// The product description and purchase notes on a narrow panel, where their lines wrap: the
// spacing follows wrapped lines as it follows paragraphs.
QImage renderNarrowNotes() {
    QWidget host;
    QPalette page = host.palette();
    page.setColor(QPalette::Window, QColor(0xF0, 0xFB, 0xF9));
    host.setPalette(page);
    host.setAutoFillBackground(true);
    host.resize(230, 440);
    auto* notes = new RechargeDescribeView(&host);
    notes->setGeometry(0, 0, 230, 440);
    return snapshot(host);
}

const Entry narrowNotes{"RechargeDescribeView", "narrow_wrapped", renderNarrowNotes};

}  // namespace
}  // namespace pex::gallery
