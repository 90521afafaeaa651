// The purchase page in a window against the stand-in service: the package list and the
// package bought, the payment method sent, one order per click, the QR pop-up with its polling
// (paid, refunded, closed), and the faults of incomplete replies and missing windows.
#include <QApplication>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "Page/Purchase/MyTableView.h"
#include "Page/Purchase/PurchaseViewController.h"
#include "Page/View/PayOptionGroupView.h"
#include "Page/View/PayQRCodeView.h"
#include "Page/View/RechargeCellView.h"
#include "PageFixture.h"
#include "Tools/ContentWindow.h"
#include "Tools/CustomButton.h"
#include "Tools/ImageView.h"
#include "Tools/NotificationNames.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/TailTruncatingLabel.h"
#include "View/QRDecoding.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URLSession.h"
#include "platform/storekit/InMemoryStoreBackend.h"
#include "platform/storekit/StoreKit.h"
#include "purchase/IAPReceiptUploader.h"
#include "purchase/OrderStatusPoller.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using nlohmann::json;
using standin::Call;
using standin::Fault;
using standin::Reply;

json goods(std::int64_t id, const std::string& label = "") {
    return {{"ID", id},
            {"intro", "介绍" + std::to_string(id)},
            {"goods_name", std::to_string(id) + "小时"},
            {"price", "9.90"},
            {"label", label},
            {"currency_cn", "¥"}};
}

class PurchaseViewControllerTest : public PageFixture {
  protected:
    PurchaseViewControllerTest() {
        page_ = new PurchaseViewController;
        window_ = new ContentWindow(page_.data());
        window_->setContentSize({820, 600});
        ApplicationWindows::setDelegateWindow(window_);
    }
    ~PurchaseViewControllerTest() override {
        ApplicationWindows::setKeyWindow(nullptr);
        ApplicationWindows::setMainWindow(nullptr);
        ApplicationWindows::setDelegateWindow(nullptr);
        settleReplies();
        delete window_.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Serves `list` as the goods on sale.
    void sell(json list) {
        service_.addApiPath("GET", "/goods/list", [list](const Call&) { return Reply::ok(list); });
    }
    // Shows the window with the page (which loads the goods) and waits for the list.
    void showPage(bool keyWindow = true) {
        window_->makeKeyAndOrderFront();
        if (keyWindow) ApplicationWindows::setKeyWindow(window_);
        ApplicationWindows::setMainWindow(window_);
        ASSERT_TRUE(settleReplies());
        ASSERT_GE(service_.requests("/goods/list").size(), 1u);
    }
    // Answers the order statuses from a script, the last one repeating.
    void scriptStatuses(std::vector<int> statuses) {
        service_.addApiPath("GET", "/order/status/*", [this, statuses](const Call&) {
            std::lock_guard lock(mutex_);
            ++statusCalls_;
            return Reply::ok(statuses[std::min(statusCalls_, statuses.size()) - 1]);
        });
    }
    void buy() {
        click(page_->buyBtn());
        ASSERT_TRUE(settleReplies());
    }
    void advance(double seconds) {
        clock_.clock().advance(
            std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds)));
        QCoreApplication::processEvents();
        ASSERT_TRUE(settleReplies());
        QCoreApplication::processEvents();
    }
    std::vector<MYCenterPopView*> popUps() const {
        std::vector<MYCenterPopView*> overlays;
        for (QObject* child : window_->contentView()->children()) {
            if (auto* overlay = qobject_cast<MYCenterPopView*>(child)) {
                if (!overlay->isDismissing()) overlays.push_back(overlay);
            }
        }
        return overlays;
    }
    std::vector<json> orderBodies() {
        std::vector<json> bodies;
        for (const auto& request : service_.requests("/order/create")) {
            bodies.push_back(request.json());
        }
        return bodies;
    }
    QString hudText() { return StatusHUD::shared().statusLabel()->text(); }

    ScopedManualClock clock_;
    QPointer<PurchaseViewController> page_;
    QPointer<ContentWindow> window_;
    std::mutex mutex_;
    std::size_t statusCalls_ = 0;
};

TEST_F(PurchaseViewControllerTest, TheOfferedPackageDependsOnHowManyAreOnSale) {
    struct Case {
        int packages;
        int selectedRow;  // -1: none marked
    };
    for (const Case& c : {Case{3, 1}, Case{1, 0}, Case{0, -1}}) {
        SCOPED_TRACE(c.packages);
        json list = json::array();
        for (int i = 1; i <= c.packages; ++i) list.push_back(goods(10 + i));
        sell(list);
        page_->loadGoods();
        ASSERT_TRUE(settleReplies());
        ASSERT_EQ(page_->rechargeModels().size(), static_cast<std::size_t>(c.packages));
        for (int row = 0; row < c.packages; ++row) {
            EXPECT_EQ(page_->rechargeModels()[row]->isSelected, row == c.selectedRow);
            auto* cell = qobject_cast<RechargeCellView*>(page_->tableView()->viewAtRow(row));
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(cell->contentV()->borderWidth(), row == c.selectedRow ? 2 : 0);
        }
        if (c.selectedRow >= 0) {
            EXPECT_EQ(page_->selectModel()->ID, 11 + c.selectedRow);
        }
    }
}

TEST_F(PurchaseViewControllerTest, BuyingWithoutPackagesRefusesWithAMessage) {
    sell(json::array());
    showPage();
    click(page_->buyBtn());
    ASSERT_TRUE(settleReplies());
    EXPECT_TRUE(service_.requests("/order/create").empty());
    EXPECT_EQ(hudText(), QStringLiteral("暂无可购买的套餐"));
    EXPECT_TRUE(page_->isButtonEnabled());
}

TEST_F(PurchaseViewControllerTest, TheChosenRowIsBoughtAndClearingTheSelectionKeepsIt) {
    sell(json::array({goods(1), goods(2), goods(3)}));
    showPage();
    page_->tableView()->selectRow(2);
    EXPECT_EQ(page_->selectModel()->ID, 3);
    auto border = [&](int row) {
        return qobject_cast<RechargeCellView*>(page_->tableView()->viewAtRow(row))
            ->contentV()
            ->borderWidth();
    };
    EXPECT_EQ(border(2), 2);
    EXPECT_EQ(border(1), 0);
    page_->tableView()->selectRow(-1);
    EXPECT_FALSE(page_->rechargeModels()[2]->isSelected);
    EXPECT_EQ(border(2), 0);
    EXPECT_EQ(page_->tableView()->selectionHighlightStyle(),
              MyTableView::SelectionHighlightStyle::none);
    buy();
    ASSERT_EQ(orderBodies().size(), 1u);
    EXPECT_EQ(orderBodies()[0]["goods_id"], 3);
}

TEST_F(PurchaseViewControllerTest, TheChoiceSurvivesAPageSwitchAndAReloadMovesTheSelection) {
    sell(json::array({goods(1), goods(2), goods(3)}));
    showPage();
    click(page_->tableView()->viewAtRow(2));
    ASSERT_EQ(page_->selectModel()->ID, 3);

    // The container hides the page and shows it again: nothing is reloaded.
    page_->view()->hide();
    page_->view()->show();
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/goods/list").size(), 1u);
    click(page_->tableView()->viewAtRow(2));
    buy();
    ASSERT_EQ(orderBodies().size(), 1u);
    EXPECT_EQ(orderBodies()[0]["goods_id"], 3);
    click(page_->qrCodeView()->closeImg());
    advance(1);  // the pop-up fades out

    // A reload marks the offered package again, and the list's selection goes with the mark,
    // so clicking the row chosen before chooses it again.
    NotificationCenter::defaultCenter().post(NotificationNames::interviewType, nullptr,
                                             json{{"type", 1}});
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/goods/list").size(), 2u);
    EXPECT_EQ(page_->tableView()->selectedRow(), 1);
    EXPECT_EQ(page_->selectModel()->ID, 2);
    click(page_->tableView()->viewAtRow(2));
    EXPECT_EQ(page_->selectModel()->ID, 3);
    service_.clearRequests();
    buy();
    ASSERT_EQ(orderBodies().size(), 1u);
    EXPECT_EQ(orderBodies()[0]["goods_id"], 3);
}

TEST_F(PurchaseViewControllerTest, AFailedLoadIsTriedAgainWhenThePageIsNextShown) {
    sell(json::array({goods(1), goods(2), goods(3)}));
    // Each showing of the page meets the next failure; the one after them gets the list.
    const struct {
        const char* name;
        Fault fault;
    } failures[] = {
        {"a service error", Fault::serviceError(1, "稍后再试")},
        {"a server error", Fault::serverError(false)},
        {"a reply that is not JSON", Fault::notJson()},
        {"a dropped connection", Fault::droppedConnection()},
    };
    const auto showAgain = [&] {
        page_->view()->hide();
        page_->view()->show();
        return settleReplies();
    };
    std::size_t asked = 0;
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        service_.setFault("/goods/list", Fault(failure.fault).times(1));
        if (asked == 0) {
            showPage();
        } else {
            ASSERT_TRUE(showAgain());
        }
        EXPECT_EQ(service_.requests("/goods/list").size(), ++asked);
        EXPECT_TRUE(page_->rechargeModels().empty());
    }
    ASSERT_TRUE(showAgain());
    EXPECT_EQ(service_.requests("/goods/list").size(), ++asked);
    ASSERT_EQ(page_->rechargeModels().size(), 3u);
    EXPECT_EQ(page_->selectModel()->ID, 2);

    // Once a list has arrived, switching pages asks no more.
    ASSERT_TRUE(showAgain());
    EXPECT_EQ(service_.requests("/goods/list").size(), asked);
}

TEST_F(PurchaseViewControllerTest, OnlyAnIntegerTypeInTheNotificationReloadsTheGoods) {
    showPage();
    const std::size_t before = service_.requests("/goods/list").size();
    for (const json& info : {json{{"type", "1"}}, json{{"type", 1.5}}, json{{"kind", 1}},
                             json(nullptr), json{{"type", nullptr}}}) {
        SCOPED_TRACE(info.dump());
        NotificationCenter::defaultCenter().post(NotificationNames::interviewType, nullptr, info);
        ASSERT_TRUE(settleReplies());
        EXPECT_EQ(service_.requests("/goods/list").size(), before);
    }
    NotificationCenter::defaultCenter().post(NotificationNames::interviewType, nullptr,
                                             json{{"type", -3}});
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/goods/list").size(), before + 1);
    EXPECT_EQ(console_.linesStartingWith("收到通知内容：-3"), 1);
}

TEST_F(PurchaseViewControllerTest, GoodsWithoutAPositivePriceAreNotOffered) {
    json list = json::array();
    for (const json& price : {json("0"), json("-5"), json("abc"), json(""), json("0.00"),
                              json(nullptr), json("1e3"), json("9.90"), json(39)}) {
        json package = goods(static_cast<std::int64_t>(list.size()) + 1);
        package["price"] = price;
        list.push_back(package);
    }
    list.push_back(goods(99));
    list.back().erase("price");
    sell(list);
    showPage();
    std::vector<std::int64_t> offered;
    for (const auto& model : page_->rechargeModels()) offered.push_back(model->ID);
    EXPECT_EQ(offered, (std::vector<std::int64_t>{8, 9}));
}

TEST_F(PurchaseViewControllerTest, APackageWithoutAnIdIsNeverOrdered) {
    sell(json::array({goods(0)}));
    showPage();
    click(page_->buyBtn());
    ASSERT_TRUE(settleReplies());
    EXPECT_TRUE(service_.requests("/order/create").empty());
    EXPECT_EQ(hudText(), QStringLiteral("请选择要购买的套餐"));
    EXPECT_TRUE(page_->isButtonEnabled());
}

TEST_F(PurchaseViewControllerTest, DeletingThePageWhilePollingEndsIt) {
    // The stand-in holds the "paid" answer to the first status request until the page is gone,
    // so the reply can only arrive after the deletion.
    std::promise<void> pageGone;
    std::shared_future<void> released = pageGone.get_future().share();
    auto statusRequests = std::make_shared<std::atomic<int>>(0);
    service_.addApiPath("GET", "/order/status/*", [released, statusRequests](const Call&) {
        ++*statusRequests;
        released.wait();
        return Reply::ok(2);
    });
    showPage();
    buy();
    ASSERT_TRUE(page_->poller()->isPolling());
    clock_.clock().advance(std::chrono::seconds(3));
    QCoreApplication::processEvents();
    ASSERT_TRUE(runMainUntil([&] { return statusRequests->load() == 1; }));
    delete window_.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(page_.isNull());
    pageGone.set_value();
    ASSERT_TRUE(settleReplies());
    advance(30);
    EXPECT_EQ(service_.requests("/order/status/*").size(), 1u);
    EXPECT_EQ(console_.linesStartingWith("订单支付成功 ✅"), 0);
}

TEST_F(PurchaseViewControllerTest, ThePaymentMethodDecidesTheCodeAndTheInstruction) {
    struct Case {
        std::optional<int> option;  // none: the options untouched
        int payMethod;
        QString instruction;
    };
    for (const Case& c : {Case{std::nullopt, 4, QStringLiteral("请打开微信扫描支付")},
                          Case{1, 5, QStringLiteral("请打开支付宝扫描支付")},
                          Case{0, 4, QStringLiteral("请打开微信扫描支付")}}) {
        SCOPED_TRACE(c.payMethod);
        if (!window_->isVisible()) showPage();
        if (c.option) click(page_->payGroup()->optionViews()[static_cast<std::size_t>(*c.option)]);
        service_.clearRequests();
        buy();
        ASSERT_EQ(orderBodies().size(), 1u);
        EXPECT_EQ(orderBodies()[0], (json{{"goods_id", 2}, {"pay_method", c.payMethod}}));
        PayQRCodeView* popUp = page_->qrCodeView();
        ASSERT_NE(popUp, nullptr);
        EXPECT_EQ(popUp->size(), QSize(380, 420));
        EXPECT_EQ(popUp->subTitleL()->text(), c.instruction);
        EXPECT_FALSE(popUp->iconV()->image().isNull());
        click(popUp->closeImg());
        advance(1);  // the pop-up fades out
    }
}

TEST_F(PurchaseViewControllerTest, ADoubleClickCreatesOneOrder) {
    showPage();
    click(page_->buyBtn());
    click(page_->buyBtn());
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/order/create").size(), 1u);
    EXPECT_EQ(popUps().size(), 1u);
    EXPECT_FALSE(page_->isButtonEnabled());
}

TEST_F(PurchaseViewControllerTest, ClosingThePopUpStopsPollingAndEnablesBuying) {
    scriptStatuses({1});
    showPage();
    buy();
    advance(3);
    EXPECT_EQ(service_.requests("/order/status/*").size(), 1u);
    click(page_->qrCodeView()->closeImg());
    EXPECT_TRUE(popUps().empty());
    EXPECT_TRUE(page_->isButtonEnabled());
    EXPECT_FALSE(page_->poller()->isPolling());
    advance(30);
    EXPECT_EQ(service_.requests("/order/status/*").size(), 1u);
    buy();
    EXPECT_EQ(service_.requests("/order/create").size(), 2u);
}

TEST_F(PurchaseViewControllerTest, APaidOrderClosesThePopUpAndSaysSo) {
    scriptStatuses({1, 1, 2});
    showPage();
    buy();
    const std::string orderNo = page_->orderNo();
    EXPECT_FALSE(orderNo.empty());
    for (int i = 0; i < 3; ++i) advance(3);
    EXPECT_TRUE(popUps().empty());
    EXPECT_TRUE(page_->isButtonEnabled());
    EXPECT_EQ(hudText(), QStringLiteral("订单支付成功"));
    EXPECT_EQ(console_.linesStartingWith("订单支付成功 ✅"), 1);
}

TEST_F(PurchaseViewControllerTest, ARefundIsLoggedAndThePopUpStaysOpen) {
    scriptStatuses({3});
    showPage();
    buy();
    advance(3);
    EXPECT_EQ(console_.linesStartingWith("订单失败或取消 ❌，原因：已退款"), 1);
    EXPECT_EQ(popUps().size(), 1u);
    EXPECT_FALSE(page_->isButtonEnabled());
    EXPECT_FALSE(page_->poller()->isPolling());
}

TEST_F(PurchaseViewControllerTest, ScanningTheCodePaysTheOrderAndCreditsTheMinutes) {
    showPage();
    const std::int64_t before = service_.state().balance(kPhone);
    buy();
    advance(3);
    ASSERT_EQ(popUps().size(), 1u) << "not paid yet";
    // The code holds the order's payment address, a page of the stand-in; opening it pays.
    const std::optional<std::string> address =
        decodeQRCode(page_->qrCodeView()->iconV()->image().toImage());
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(*address, service_.origin() + "/pay/qr/" + page_->orderNo());
    std::optional<long> status;
    URLSession::shared()
        .dataTask(URLRequest(*address, "GET"), DispatchQueue::main(),
                  [&](URLDataResult result) {
                      status = result.response ? result.response->statusCode : 0;
                  })
        ->resume();
    ASSERT_TRUE(runMainUntil([&] { return status.has_value(); }));
    EXPECT_EQ(*status, 200);
    advance(3);
    EXPECT_TRUE(popUps().empty());
    EXPECT_EQ(hudText(), QStringLiteral("订单支付成功"));
    EXPECT_EQ(service_.state().balance(kPhone), before + 7200);
}

TEST_F(PurchaseViewControllerTest, AFailedOrderLeavesNoPopUpAndBuyingEnabled) {
    showPage();
    service_.setFault("/order/create", Fault::serviceError(1, "商品已下架"));
    buy();
    EXPECT_TRUE(popUps().empty());
    EXPECT_TRUE(page_->isButtonEnabled());
    EXPECT_FALSE(page_->poller()->isPolling());
}

TEST_F(PurchaseViewControllerTest, AnIncompleteQRReplyIsAFailedOrder) {
    for (const json& data : {json{{"order_no", "PX9"}}, json{{"code_url", "http://127.0.0.1/x"}},
                             json{{"order_no", ""}, {"code_url", "http://127.0.0.1/x"}}}) {
        SCOPED_TRACE(data.dump());
        service_.addApiPath("POST", "/order/create",
                            [data](const Call&) { return Reply::ok(data); });
        if (!window_->isVisible()) showPage();
        buy();
        EXPECT_TRUE(popUps().empty());
        EXPECT_TRUE(page_->isButtonEnabled());
        EXPECT_FALSE(page_->poller()->isPolling());
        EXPECT_EQ(hudText(), QStringLiteral("订单创建失败，请重试"));
    }
}

TEST_F(PurchaseViewControllerTest, WithoutAKeyWindowNothingIsPolled) {
    showPage(false);
    ApplicationWindows::setKeyWindow(nullptr);
    window_->hide();
    page_->buyTap();
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/order/create").size(), 1u);
    EXPECT_TRUE(page_->isButtonEnabled());
    EXPECT_FALSE(page_->poller()->isPolling());
}

// The App Store branch (payment method 1), which no payment option offers, driven directly.
class AppStoreBranchTest : public PurchaseViewControllerTest {
  protected:
    AppStoreBranchTest() {
        StoreKit::shared().setBackend(store_);
        store_->setReceipt(ReceiptResult::success({'r', 'c', 'p', 't'}));
        store_->setProducts({{"pexmora.hours.2", "2小时", "¥39.90"}});
    }
    ~AppStoreBranchTest() override {
        MainQueue::drain();
        StoreKit::shared().setBackend(nullptr);
    }
    // An App Store order of the offered package, as the service answers its creation.
    std::string createOrder() {
        page_->createOrder();  // a QR order, only to have the service create one for us
        EXPECT_TRUE(settleReplies());
        const std::string orderNo = page_->orderNo();
        page_->closeQRPayment();
        return orderNo;
    }
    std::shared_ptr<InMemoryStoreBackend> store_ = std::make_shared<InMemoryStoreBackend>();
};

TEST_F(AppStoreBranchTest, APurchaseIsUploadedFinishedAndForgotten) {
    showPage();
    const std::string orderNo = createOrder();
    const std::int64_t before = service_.state().balance(kPhone);
    page_->handleOrderCreated(false, json{{"code", 0}, {"data", orderNo}},
                              PurchaseViewController::kAppStorePay);
    EXPECT_TRUE(page_->isButtonEnabled());
    EXPECT_EQ(IAPReceiptUploader::shared().loadPendingOrders(),
              (std::vector<PendingIAPOrder>{{orderNo, "pexmora.hours.2", std::nullopt}}));
    ASSERT_TRUE(runMainUntil([&] { return hudText() == QStringLiteral("购买成功"); }));
    EXPECT_TRUE(IAPReceiptUploader::shared().loadPendingOrders().empty());
    ASSERT_TRUE(runMainUntil([&] { return store_->finishedTransactions().size() == 1; }));
    EXPECT_EQ(service_.state().balance(kPhone), before + 7200);
}

TEST_F(AppStoreBranchTest, AFailedPurchaseForgetsTheOrderAndARefusedReceiptKeepsIt) {
    showPage();
    store_->setProducts({});
    page_->handleOrderCreated(false, json{{"code", 0}, {"data", "PXA"}},
                              PurchaseViewController::kAppStorePay);
    ASSERT_TRUE(
        runMainUntil([&] { return console_.linesStartingWith("❌ Purchase Failed: ") == 1; }));
    EXPECT_TRUE(IAPReceiptUploader::shared().loadPendingOrders().empty());

    // Without an order number nothing is bought: it could never be credited.
    page_->handleOrderCreated(false, json{{"code", 0}, {"data", ""}},
                              PurchaseViewController::kAppStorePay);
    EXPECT_EQ(hudText(), QStringLiteral("购买失败"));
    EXPECT_TRUE(page_->isButtonEnabled());
    MainQueue::drain();
    EXPECT_TRUE(store_->unfinishedTransactions().empty());

    // The service does not know the order: the receipt is refused and the order kept.
    store_->setProducts({{"pexmora.hours.2", "2小时", "¥39.90"}});
    page_->handleOrderCreated(false, json{{"code", 0}, {"data", "PXB"}},
                              PurchaseViewController::kAppStorePay);
    ASSERT_TRUE(runMainUntil([&] { return hudText() == QStringLiteral("订单不存在"); }));
    const auto pending = IAPReceiptUploader::shared().loadPendingOrders();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].orderNo, "PXB");
    EXPECT_TRUE(pending[0].transactionId.has_value());
    EXPECT_TRUE(store_->finishedTransactions().empty());
}

TEST_F(AppStoreBranchTest, AnAlreadyVerifiedReceiptFinishesThePurchaseAndForgetsItsOrder) {
    showPage();
    const std::string orderNo = createOrder();
    service_.setFault(IAPReceiptUploader::kUploadPath, Fault::serviceError(1006, "小票重复验证"));
    page_->handleOrderCreated(false, json{{"code", 0}, {"data", orderNo}},
                              PurchaseViewController::kAppStorePay);
    ASSERT_TRUE(runMainUntil([&] { return hudText() == QStringLiteral("小票重复验证"); }));
    ASSERT_TRUE(runMainUntil([&] { return store_->finishedTransactions().size() == 1; }));
    EXPECT_TRUE(IAPReceiptUploader::shared().loadPendingOrders().empty());
}

TEST_F(AppStoreBranchTest, TheProductCheckLogsWhatTheStoreKnows) {
    store_->setProducts({{"com.Talvoro.60min.mac", "60 分钟", "¥19.90"}});
    page_->checkProductsInfo();
    ASSERT_TRUE(runMainUntil(
        [&] { return console_.linesStartingWith("💰 Product: 60 分钟, price: ¥19.90") == 1; }));
    EXPECT_EQ(console_.linesStartingWith("❌ Invalid product id: "), 5);
}

}  // namespace
}  // namespace pex::test
