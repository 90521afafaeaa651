// The start-up completion of unfinished App Store purchases: transactions seeded in the local
// store's file, pending orders in the settings store, receipts uploaded to the stand-in
// service over HTTP. "Next launch" asks the store again for what is still open.
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/storekit/LocalStoreBackend.h"
#include "purchase/ConsoleCapture.h"
#include "purchase/PurchaseFixture.h"
#include "purchase/UnfinishedTransactionHandler.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;

constexpr const char* kDone = "✅ 已补传并完成交易: ";
constexpr const char* kFailed = "❌ 补传小票失败: ";
constexpr const char* kNoOrder = "⚠️ 找到未完成交易，但没有匹配到本地订单: ";
constexpr const char* kReceiptBase64 = "bG9jYWwtcmVjZWlwdA==";  // "local-receipt"

json transaction(const std::string& product, const std::string& state,
                 std::optional<std::string> id, std::optional<bool> needsFinish = std::nullopt) {
    json entry{{"productIdentifier", product}, {"state", state}};
    if (id) entry["transactionIdentifier"] = *id;
    if (needsFinish) entry["needsFinish"] = *needsFinish;
    return entry;
}

class StartupCompletion : public test::PurchaseFixture {
  protected:
    static void seedStore(const json& transactions) {
        const auto file = LocalStoreBackend::defaultFile();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << json{{"receipt", kReceiptBase64}, {"transactions", transactions}};
    }

    int outcomes() const {
        return console_->linesStartingWith(kDone) + console_->linesStartingWith(kFailed) +
               console_->linesStartingWith(kNoOrder);
    }

    // Start-up's store step; returns once `expected` purchases have had their outcome line.
    void launch(int expected) {
        UnfinishedTransactionHandler::completeTransactionsAtLaunch();
        ASSERT_TRUE(test::runMainUntil([&] { return outcomes() >= expected; }));
        waitForStore();  // the launch's own delivery is handled before this one
        EXPECT_EQ(outcomes(), expected);
    }

    // What the store reports as open, after everything asked of it so far.
    static std::vector<std::string> openAtNextLaunch() {
        std::optional<std::vector<std::string>> open;
        StoreKit::shared().completeTransactions(false, [&](std::vector<Purchase> purchases) {
            open.emplace();
            for (const Purchase& purchase : purchases) {
                open->push_back(purchase.productId + " " +
                                transactionStateName(purchase.transaction.transactionState));
            }
        });
        EXPECT_TRUE(test::runMainUntil([&] { return open.has_value(); }));
        return open.value_or(std::vector<std::string>{"<no answer>"});
    }
    static void waitForStore() { openAtNextLaunch(); }

    std::vector<std::string> uploadedOrders() const {
        std::vector<std::string> orders;
        for (const auto& request : service_.requests("/order/iap")) {
            EXPECT_EQ(request.json().value("receipt_data", ""), kReceiptBase64);
            orders.push_back(request.json().value("order_no", ""));
        }
        return orders;
    }

    void restartConsole() { console_.emplace(); }

    std::optional<test::ConsoleCapture> console_{std::in_place};
};

TEST_F(StartupCompletion, APurchaseWithItsOrderIsUploadedFinishedAndItsOrderForgotten) {
    seedStore(json::array({transaction("p.60", "purchased", "T1")}));
    IAPReceiptUploader::shared().savePendingOrders(
        {{"PX0", "p.60", std::nullopt}, {"PX1", "p.60", "T1"}, {"PX2", "p.120", std::nullopt}});
    addServiceOrder("PX1");

    launch(1);
    EXPECT_EQ(console_->linesStartingWith(std::string(kDone) + "p.60"), 1);
    EXPECT_EQ(uploadedOrders(), std::vector<std::string>{"PX1"});  // by transaction, not product
    EXPECT_EQ(pending(), (std::vector<PendingIAPOrder>{{"PX0", "p.60", std::nullopt},
                                                       {"PX2", "p.120", std::nullopt}}));
    EXPECT_TRUE(openAtNextLaunch().empty());
    EXPECT_TRUE(service_.state().account(kPhone)->orders.back().receiptVerified);
}

TEST_F(StartupCompletion, ARestoredPurchaseWithTheOnlyOrderOfItsProductIsUploadedLikeAPurchase) {
    json restored = transaction("p.60", "restored", "T2");
    restored["originalTransactionIdentifier"] = "T0";
    seedStore(json::array({restored}));
    IAPReceiptUploader::shared().savePendingOrders({{"PX1", "p.60", std::nullopt}});
    addServiceOrder("PX1");

    launch(1);
    EXPECT_EQ(console_->linesStartingWith(std::string(kDone) + "p.60"), 1);
    EXPECT_EQ(uploadedOrders(), std::vector<std::string>{"PX1"});
    EXPECT_FALSE(pendingKeyStored());  // the last order went, and the key with it
    EXPECT_TRUE(openAtNextLaunch().empty());
}

TEST_F(StartupCompletion, APurchaseWithoutAMatchingOrderIsOnlyLoggedAndStaysOpen) {
    const std::vector<std::vector<PendingIAPOrder>> stored = {
        {},
        {{"PX1", "p.120", std::nullopt}},
        {{"PX1", "p.60", std::nullopt}, {"PX2", "p.60", std::nullopt}},  // two: neither chosen
        {{"PX2", "p.60", "T9"}},  // bound to another transaction
    };
    for (const auto& orders : stored) {
        SCOPED_TRACE(orders.size());
        restartConsole();
        seedStore(json::array({transaction("p.60", "purchased", "T1")}));
        IAPReceiptUploader::shared().savePendingOrders(orders);

        launch(1);
        EXPECT_EQ(console_->linesStartingWith(std::string(kNoOrder) + "p.60"), 1);
        EXPECT_EQ(console_->linesStartingWith("!!!!"), 0);
        EXPECT_EQ(pending(), orders);
        EXPECT_EQ(openAtNextLaunch(), std::vector<std::string>{"p.60 purchased"});
    }
    EXPECT_TRUE(service_.requests("/order/iap").empty());
}

TEST_F(StartupCompletion,
       AnAcceptedUploadWithoutNeedsFinishLeavesTheTransactionButForgetsTheOrder) {
    seedStore(json::array({transaction("p.60", "purchased", "T1", false)}));
    IAPReceiptUploader::shared().savePendingOrders({{"PX1", "p.60", "T1"}});
    addServiceOrder("PX1");

    launch(1);
    EXPECT_EQ(console_->linesStartingWith(std::string(kDone) + "p.60"), 1);
    EXPECT_TRUE(pending().empty());
    EXPECT_EQ(openAtNextLaunch(), std::vector<std::string>{"p.60 purchased"});
}

TEST_F(StartupCompletion, AnAlreadyVerifiedReceiptFinishesTheTransactionAndForgetsTheOrder) {
    // Finished whatever the needs-finish flag says; the order goes too, or it would match
    // every later purchase of the product and keep it from being uploaded.
    seedStore(json::array({transaction("p.60", "purchased", "T1", false)}));
    IAPReceiptUploader::shared().savePendingOrders(
        {{"PX1", "p.60", "T1"}, {"PX2", "p.120", std::nullopt}});
    addServiceOrder("PX1", true);

    launch(1);
    EXPECT_EQ(console_->linesStartingWith(std::string(kFailed) + "小票重复验证"), 1);
    EXPECT_EQ(pending(), (std::vector<PendingIAPOrder>{{"PX2", "p.120", std::nullopt}}));
    EXPECT_TRUE(openAtNextLaunch().empty());
}

TEST_F(StartupCompletion, AnyOtherFailureKeepsTheTransactionAndTheOrder) {
    struct Case {
        std::string orderNo;
        std::optional<Fault> fault;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"PX-UNKNOWN", std::nullopt, "订单不存在"},  // the service has no such order
        {"PX1", Fault::serviceError(9, std::nullopt), "验证失败"},
        {"PX1", Fault::notJson(), "服务器返回的数据不是有效的 JSON"},
        {"", std::nullopt, "订单号为空"},
    };
    addServiceOrder("PX1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        restartConsole();
        service_.clearFaults();
        if (c.fault) service_.setFault("/order/iap", *c.fault);
        seedStore(json::array({transaction("p.60", "purchased", "T1")}));
        const std::vector<PendingIAPOrder> orders = {{c.orderNo, "p.60", "T1"}};
        IAPReceiptUploader::shared().savePendingOrders(orders);

        launch(1);
        EXPECT_EQ(console_->linesStartingWith(kFailed + c.message), 1);
        EXPECT_EQ(pending(), orders);
        EXPECT_EQ(openAtNextLaunch(), std::vector<std::string>{"p.60 purchased"});
    }
    // The empty order number never reached the service.
    EXPECT_EQ(uploadedOrders(), (std::vector<std::string>{"PX-UNKNOWN", "PX1", "PX1"}));
}

TEST_F(StartupCompletion, AFailureWithoutAMessageIsLoggedAsUnknownAndKeepsBoth) {
    seedStore(json::array({transaction("p.60", "purchased", "T1")}));
    const PendingIAPOrder order{"PX1", "p.60", "T1"};
    IAPReceiptUploader::shared().savePendingOrders({order});
    const Purchase purchase{
        "p.60", 1, {"T1", TransactionState::purchased, "p.60"}, std::nullopt, true};

    UnfinishedTransactionHandler::handleReceiptReupload(false, std::nullopt, purchase, order);
    EXPECT_EQ(console_->linesStartingWith(std::string(kFailed) + "未知错误"), 1);
    EXPECT_EQ(pending(), std::vector<PendingIAPOrder>{order});
    EXPECT_EQ(openAtNextLaunch(), std::vector<std::string>{"p.60 purchased"});
}

TEST_F(StartupCompletion, OnlyPurchasedAndRestoredAreHandledEachOnItsOwn) {
    seedStore(json::array({
        transaction("p.a", "failed", "TA"),
        transaction("p.b", "purchased", "TB"),
        transaction("p.c", "purchasing", std::nullopt),
        transaction("p.d", "deferred", std::nullopt),
        transaction("p.e", "restored", "TE"),
    }));
    IAPReceiptUploader::shared().savePendingOrders({{"PXA", "p.a", std::nullopt},
                                                    {"PXB", "p.b", std::nullopt},
                                                    {"PXC", "p.c", std::nullopt},
                                                    {"PXD", "p.d", std::nullopt},
                                                    {"PXE", "p.e", std::nullopt}});
    addServiceOrder("PXB");
    addServiceOrder("PXE", true);

    launch(2);
    EXPECT_EQ(console_->linesStartingWith("!!!!"), 2);
    EXPECT_EQ(console_->linesStartingWith(std::string(kDone) + "p.b"), 1);
    EXPECT_EQ(console_->linesStartingWith(std::string(kFailed) + "小票重复验证"), 1);
    EXPECT_EQ(pending(), (std::vector<PendingIAPOrder>{{"PXA", "p.a", std::nullopt},
                                                       {"PXC", "p.c", std::nullopt},
                                                       {"PXD", "p.d", std::nullopt}}));
    // The store itself finished the failed one; purchasing and deferred cannot be finished.
    EXPECT_EQ(openAtNextLaunch(), (std::vector<std::string>{"p.c purchasing", "p.d deferred"}));
}

}  // namespace
}  // namespace pex
