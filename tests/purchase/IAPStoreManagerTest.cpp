// The payment-queue observer that nothing in the application creates: its unfinished records,
// and purchases told to it by the store, uploaded against the stand-in service.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/storekit/InMemoryStoreBackend.h"
#include "purchase/ConsoleCapture.h"
#include "purchase/IAPStoreManager.h"
#include "purchase/PurchaseFixture.h"

namespace pex {
namespace {

using Record = IAPStoreManager::UnfinishedRecord;

class IAPStoreManagerTest : public test::PurchaseFixture {
  protected:
    IAPStoreManagerTest() {
        StoreKit::shared().setBackend(store_);
        store_->setReceipt(ReceiptResult::success({'r', 'c', 'p', 't'}));
        store_->setProducts({{"com.Talvoro.120min", "120 分钟", "¥39.90"}});
        manager_->purchaseCompletion = [this](bool success, std::optional<std::string> message) {
            outcomes_.push_back({success, std::move(message)});
        };
    }

    // Buys through the store, which tells the manager; waits for `outcomes` reports.
    void buy(const std::string& productId, std::size_t outcomes = 1) {
        StoreKit::shared().purchaseProduct(productId, 1, false, nullptr);
        ASSERT_TRUE(test::runMainUntil([&] { return outcomes_.size() >= outcomes; }));
        MainQueue::drain();
    }

    struct Outcome {
        bool success;
        std::optional<std::string> message;
    };
    std::shared_ptr<InMemoryStoreBackend> store_ = std::make_shared<InMemoryStoreBackend>();
    std::shared_ptr<IAPStoreManager> manager_ = IAPStoreManager::create();
    std::vector<Outcome> outcomes_;
};

TEST_F(IAPStoreManagerTest, RecordsAreAddedReplacedAtTheEndAndRemoved) {
    EXPECT_EQ(manager_->unfinishedRecordsKey, "UnfinishedIAPRecords");
    manager_->addUnfinishedRecord("", "p.60");
    EXPECT_FALSE(UserDefaults::standard().contains("UnfinishedIAPRecords"));
    manager_->addUnfinishedRecord("A", "p.60");
    manager_->addUnfinishedRecord("B", "p.120");
    manager_->addUnfinishedRecord("A", "p.300");
    EXPECT_EQ(manager_->loadUnfinishedRecords(),
              (std::vector<Record>{{"B", "p.120"}, {"A", "p.300"}}));
    manager_->removeUnfinishedRecord("B");
    manager_->removeUnfinishedRecord("A");
    EXPECT_TRUE(manager_->loadUnfinishedRecords().empty());
    EXPECT_EQ(UserDefaults::standard().object("UnfinishedIAPRecords"), nlohmann::json::array())
        << "an empty list is still stored";

    for (const nlohmann::json& shape : {nlohmann::json("x"), nlohmann::json::array({1}),
                                        nlohmann::json::array({{{"order_no", "A"}}})}) {
        UserDefaults::standard().set("UnfinishedIAPRecords", shape);
        EXPECT_TRUE(manager_->loadUnfinishedRecords().empty()) << shape.dump();
    }
}

TEST_F(IAPStoreManagerTest, APurchaseIsUploadedForTheCurrentOrderThenFinishedAndForgotten) {
    addServiceOrder("PX1");
    manager_->order_no = "PX1";
    buy("com.Talvoro.120min");
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_TRUE(outcomes_[0].success);
    EXPECT_FALSE(outcomes_[0].message);
    EXPECT_FALSE(manager_->purchaseCompletion) << "cleared after its report";
    ASSERT_TRUE(test::runMainUntil([&] { return store_->finishedTransactions().size() == 1; }));
    EXPECT_TRUE(manager_->loadUnfinishedRecords().empty());
    EXPECT_TRUE(service_.state().account(kPhone)->orders.back().receiptVerified);
}

TEST_F(IAPStoreManagerTest, WithoutAnOrderNothingIsUploadedAndTheTransactionStaysOpen) {
    buy("com.Talvoro.120min");
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_FALSE(outcomes_[0].success);
    EXPECT_EQ(outcomes_[0].message, "订单号为空");
    EXPECT_TRUE(service_.requests("/order/iap").empty());
    EXPECT_TRUE(store_->receiptFetches().empty());
    EXPECT_EQ(store_->unfinishedTransactions().size(), 1u);
}

TEST_F(IAPStoreManagerTest, AFailedTransactionIsFinishedAndReportedWithoutClearingTheCallback) {
    const StoreTransaction failed{"T9", TransactionState::failed, "com.Talvoro.60min"};
    store_->addTransaction({"com.Talvoro.60min", 1, failed, std::nullopt, true});
    manager_->paymentQueueUpdatedTransactions(
        {failed, {std::nullopt, TransactionState::purchasing, "com.Talvoro.60min"}});
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_FALSE(outcomes_[0].success);
    EXPECT_TRUE(manager_->purchaseCompletion);
    ASSERT_TRUE(test::runMainUntil([&] { return store_->finishedTransactions().size() == 1; }));
    EXPECT_EQ(store_->finishedTransactions()[0], failed);
}

TEST_F(IAPStoreManagerTest, TheProductsReplyIsKeptAndLogged) {
    test::ConsoleCapture console;
    manager_->productsRequestDidReceive(
        {{"com.Talvoro.60min", "60", "¥19.90"}, {"com.Talvoro.120min", "120", std::nullopt}});
    EXPECT_EQ(manager_->products.size(), 2u);
    EXPECT_EQ(console.linesStartingWith("✅ 获取商品成功: [com.Talvoro.60min, com.Talvoro.120min]"),
              1);
}

}  // namespace
}  // namespace pex
