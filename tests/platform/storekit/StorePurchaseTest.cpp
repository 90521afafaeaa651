// Products and purchases: the local store's catalogue and the purchases it records, and
// StoreKit's products answer, purchases and the payment queue's observers.
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/MainQueue.h"
#include "platform/storekit/InMemoryStoreBackend.h"
#include "platform/storekit/LocalStoreBackend.h"
#include "platform/storekit/StoreKit.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class StorePurchase : public test::IsolatedTest {
  protected:
    StorePurchase() { MainQueue::adoptCurrentThreadAsMain(); }
    ~StorePurchase() override {
        MainQueue::drain();
        StoreKit::shared().setBackend(nullptr);
    }
    void seed(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }

    std::filesystem::path file_ = root() / "store.json";
};

TEST_F(StorePurchase, TheLocalStoreSellsItsListedProductsAndRecordsEachPurchase) {
    seed(R"({"products": [
        {"productIdentifier": "p.60", "localizedTitle": "60 分钟", "localizedPrice": "¥19.90"},
        {"productIdentifier": "p.120"}, {"localizedTitle": "no identifier"}, 7]})");
    LocalStoreBackend backend(file_);
    EXPECT_EQ(
        backend.products({"p.60", "p.120", "p.300"}),
        (std::vector<StoreProduct>{{"p.60", "60 分钟", "¥19.90"}, {"p.120", "", std::nullopt}}));

    const PurchaseResult bought = backend.purchase("p.60", 2);
    ASSERT_TRUE(bought.purchase);
    EXPECT_EQ(bought.purchase->transaction.transactionState, TransactionState::purchased);
    EXPECT_TRUE(bought.purchase->needsFinishTransaction);
    const std::vector<Purchase> open = backend.unfinishedTransactions();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].transaction, bought.purchase->transaction);
    EXPECT_EQ(open[0].quantity, 2);

    EXPECT_EQ(backend.purchase("p.300", 1).error, "无效的商品");
    // A file that is not the store's is never written.
    seed("not json");
    EXPECT_TRUE(backend.purchase("p.60", 1).error);
    std::error_code error;
    EXPECT_EQ(AtomicFile::read(file_, error), "not json");
}

class Watcher : public PaymentTransactionObserver {
  public:
    void paymentQueueUpdatedTransactions(const std::vector<StoreTransaction>& updated) override {
        seen.insert(seen.end(), updated.begin(), updated.end());
    }
    std::vector<StoreTransaction> seen;
};

TEST_F(StorePurchase, StoreKitAnswersProductsAndTellsObserversOfPurchases) {
    auto store = std::make_shared<InMemoryStoreBackend>();
    store->setProducts({{"p.60", "60 分钟", "¥19.90"}});
    StoreKit::shared().setBackend(store);

    std::optional<RetrieveResults> products;
    StoreKit::shared().retrieveProductsInfo({"p.60", "p.x"},
                                            [&](RetrieveResults r) { products = std::move(r); });
    ASSERT_TRUE(test::runMainUntil([&] { return products.has_value(); }));
    EXPECT_EQ(products->retrievedProducts.size(), 1u);
    EXPECT_EQ(products->invalidProductIDs, std::set<std::string>{"p.x"});

    auto watcher = std::make_shared<Watcher>();
    StoreKit::shared().addTransactionObserver(watcher);
    std::vector<PurchaseResult> results;
    StoreKit::shared().purchaseProduct("p.60", 1, false,
                                       [&](PurchaseResult r) { results.push_back(std::move(r)); });
    StoreKit::shared().purchaseProduct("p.60", 1, true,
                                       [&](PurchaseResult r) { results.push_back(std::move(r)); });
    StoreKit::shared().purchaseProduct("p.x", 1, false,
                                       [&](PurchaseResult r) { results.push_back(std::move(r)); });
    ASSERT_TRUE(test::runMainUntil([&] { return results.size() == 3; }));
    EXPECT_TRUE(results[0].purchase->needsFinishTransaction);
    EXPECT_FALSE(results[1].purchase->needsFinishTransaction) << "finished by the store";
    EXPECT_EQ(results[2].error, "无效的商品");
    EXPECT_EQ(store->unfinishedTransactions().size(), 1u);
    EXPECT_EQ(watcher->seen.size(), 2u);

    StoreKit::shared().removeTransactionObserver(watcher.get());
    results.clear();
    StoreKit::shared().purchaseProduct("p.60", 1, false,
                                       [&](PurchaseResult r) { results.push_back(std::move(r)); });
    ASSERT_TRUE(test::runMainUntil([&] { return results.size() == 1; }));
    EXPECT_EQ(watcher->seen.size(), 2u);
}

}  // namespace
}  // namespace pex
