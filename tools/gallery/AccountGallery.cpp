// The account page, the about page with its update alert and the two record lists (the history
// panel has its own file). Pages that talk to the service get a stand-in service started for the
// picture.

#include "Gallery.h"
#include "LineLatencies.h"
#include "Tools/ContentWindow.h"
#include "Page/About/AboutMeViewController.h"
#include "Page/About/VersionForceAlertView.h"
#include "Page/Mine/MineViewController.h"
#include "Page/Records/ConsumeViewController.h"
#include "Page/Records/OrderViewController.h"
#include "StandinScene.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "standin-service/StandinState.h"

namespace pex::gallery {
namespace {

using nlohmann::json;
constexpr const char* kPhone = "13800138000";
const QSize kPageSize{750, 500};

// A signed-in account with a balance, three consumption records and two top-ups.
class AccountScene : public StandinScene {
  public:
    AccountScene() {
        SettingsStore::set(SettingsKeys::loginToken, service().state().issueToken(kPhone));
        service().state().setBalance(kPhone, 2 * 3600 + 15 * 60 + 30);
        service().state().with([](standin::StandinState::Data& data) {
            standin::Account& account = data.accounts.at(kPhone);
            account.consumes.clear();
            account.orders.clear();
            const std::pair<const char*, std::int64_t> sessions[] = {
                {"2025-03-01T08:05:09.000+0800", 1520},
                {"2025-03-03T19:40:00.000+0800", 3725},
                {"2025-03-06T10:12:45.000+0800", 59}};
            for (const auto& [when, seconds] : sessions) {
                standin::ConsumeRecord record;
                record.createdAt = when;
                record.timePackage = seconds;
                account.consumes.push_back(record);
            }
            const std::tuple<const char*, const char*, const char*> orders[] = {
                {"1小时面试时长", "19.90", "2025-02-27T21:30:12.000+0800"},
                {"5小时面试时长", "89.90", "2025-03-02T09:00:00.000+0800"}};
            for (const auto& [goods, money, when] : orders) {
                standin::OrderRecord order;
                order.goodsName = goods;
                order.payMoney = money;
                order.createdAt = when;
                account.orders.push_back(order);
            }
            return 0;
        });
    }
};

// A page in a window of its own, the size the page container gives pages.
QImage renderMine(bool withProfile) {
    AccountScene scene;
    if (!withProfile) {
        scene.service().setFault("/user/info", standin::Fault::serviceError(1, std::nullopt));
    }
    auto* page = new MineViewController;
    ContentWindow window(page);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setContentSize(kPageSize);
    window.show();
    if (withProfile) {
        waitFor([&] { return page->userModel().has_value(); }, "the profile");
        showFixedLatencies(*page->netChannelV());
    } else {
        waitFor([&] { return !scene.service().requests("/user/info").empty(); }, "the request");
    }
    return snapshot(window);
}

const Entry mineProfile{"MineViewController", "profile", [] { return renderMine(true); }};
const Entry mineInitial{"MineViewController", "initial", [] { return renderMine(false); }};

QImage renderAbout(const std::optional<json>& reply) {
    AboutMeViewController page;
    page.setBundle(Bundle(json{{"CFBundleShortVersionString", "1.0.0"}}));
    QWidget window;
    window.resize(kPageSize);
    page.view()->setParent(&window);
    page.view()->setGeometry(window.rect());
    window.show();
    if (reply) page.handleVersionReply(false, reply);
    return snapshot(window);
}

const Entry aboutPage{"AboutMeViewController", "version", [] { return renderAbout(std::nullopt); }};
const Entry aboutUpdate{
    "AboutMeViewController", "update_alert", [] {
        return renderAbout(json{{"code", 0},
                                {"data",
                                 {{"version", "1.1.0"},
                                  {"min_version", "1.0.0"},
                                  {"content", "1. 优化了面试答案的生成速度\n2. 修复了已知问题"}}}});
    }};

const Entry updateAlert{"VersionForceAlertView", "configured", [] {
                            QWidget page;
                            page.resize(kPageSize);
                            auto* alert = new VersionForceAlertView(&page);
                            alert->setGeometry(page.rect());
                            CheckVersionModel model;
                            model.version = "1.1.0";
                            model.min_version = "1.0.0";
                            model.content = "1. 优化了面试答案的生成速度\n2. 修复了已知问题";
                            alert->model = model;
                            alert->configure();
                            return snapshot(page);
                        }};

template <typename Page>
QImage renderRecords(const QString& title) {
    AccountScene scene;
    auto* page = new Page;
    ContentWindow window(page);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setContentSize({RecordListViewController::kWidth, RecordListViewController::kHeight});
    window.setWindowTitle(title);
    window.show();
    waitFor([&] { return page->numberOfRows() > 0; }, "the records");
    return snapshot(window);
}

const Entry consumeRows{"ConsumeViewController", "rows",
                        [] { return renderRecords<ConsumeViewController>("消费明细"); }};
const Entry orderRows{"OrderViewController", "rows",
                      [] { return renderRecords<OrderViewController>("充值明细"); }};

}  // namespace
}  // namespace pex::gallery
