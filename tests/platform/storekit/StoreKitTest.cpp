// The store's completion of unfinished transactions, finishing and the receipt fetch, on the
// local backend at its default place and on the in-memory fake.
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/MainQueue.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/storekit/InMemoryStoreBackend.h"
#include "platform/storekit/LocalStoreBackend.h"
#include "platform/storekit/StoreKit.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class Store : public test::IsolatedTest {
  protected:
    Store() {
        MainQueue::adoptCurrentThreadAsMain();
        StoreKit::shared().setBackend(nullptr);
    }
    ~Store() override {
        StoreKit::shared().setBackend(nullptr);
        MainQueue::drain();
    }

    static void seedDefaultFile(const std::string& text) {
        const auto file = LocalStoreBackend::defaultFile();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

    // One launch: what the store reports as open, handed over on the main queue.
    static std::vector<Purchase> complete(bool atomically) {
        std::optional<std::vector<Purchase>> reported;
        bool returned = false;
        StoreKit::shared().completeTransactions(atomically, [&](std::vector<Purchase> purchases) {
            EXPECT_TRUE(returned) << "reported from inside the call";
            EXPECT_TRUE(MainQueue::isMainThread());
            reported = std::move(purchases);
        });
        returned = true;
        EXPECT_TRUE(test::runMainUntil([&] { return reported.has_value(); }));
        return reported.value_or(std::vector<Purchase>{});
    }

    static std::vector<std::string> describe(const std::vector<Purchase>& purchases) {
        std::vector<std::string> lines;
        for (const Purchase& purchase : purchases) {
            lines.push_back(purchase.transaction.transactionIdentifier.value_or("-") + " " +
                            transactionStateName(purchase.transaction.transactionState) +
                            (purchase.needsFinishTransaction ? " needs-finish" : ""));
        }
        return lines;
    }
};

constexpr const char* kEveryState = R"({"transactions": [
    {"productIdentifier": "p.60", "transactionIdentifier": "T1", "state": "purchased"},
    {"productIdentifier": "p.60", "transactionIdentifier": "T2", "state": "restored"},
    {"productIdentifier": "p.60", "transactionIdentifier": "T3", "state": "failed"},
    {"productIdentifier": "p.60", "state": "purchasing"},
    {"productIdentifier": "p.60", "state": "deferred"}
]})";

TEST_F(Store, ReportsTheDefaultFilesTransactionsAndFinishesFailedOnesItself) {
    seedDefaultFile(kEveryState);
    EXPECT_EQ(LocalStoreBackend::defaultFile(),
              StandardFolders::applicationSupport() / "StoreKit" / "local-store.json");

    const std::vector<std::string> firstLaunch = {"T1 purchased needs-finish",
                                                  "T2 restored needs-finish", "T3 failed",
                                                  "- purchasing", "- deferred"};
    EXPECT_EQ(describe(complete(false)), firstLaunch);
    // Not finished by the application: everything but the failed one comes back.
    const std::vector<std::string> nextLaunch = {
        "T1 purchased needs-finish", "T2 restored needs-finish", "- purchasing", "- deferred"};
    EXPECT_EQ(describe(complete(false)), nextLaunch);
}

TEST_F(Store, AtomicCompletionFinishesPurchasedAndRestoredBeforeReporting) {
    seedDefaultFile(kEveryState);
    const std::vector<std::string> reported = {"T1 purchased", "T2 restored", "T3 failed",
                                               "- purchasing", "- deferred"};
    EXPECT_EQ(describe(complete(true)), reported);
    EXPECT_EQ(describe(complete(false)), (std::vector<std::string>{"- purchasing", "- deferred"}));
}

TEST_F(Store, FinishedTransactionsStayFinishedAndUnfinishableOnesStayOpen) {
    seedDefaultFile(kEveryState);
    const std::vector<Purchase> open = complete(false);
    ASSERT_EQ(open.size(), 5u);
    for (const Purchase& purchase : open)
        StoreKit::shared().finishTransaction(purchase.transaction);
    // The finishes are done in order before the next launch reads the file.
    EXPECT_EQ(describe(complete(false)), (std::vector<std::string>{"- purchasing", "- deferred"}));
}

TEST_F(Store, NoOpenTransactionsIsReportedAsAnEmptyList) {
    EXPECT_TRUE(complete(false).empty());
}

TEST_F(Store, ReceiptFetchAsksTheBackendAndAnswersOnTheMainQueue) {
    auto fake = std::make_shared<InMemoryStoreBackend>();
    StoreKit::shared().setBackend(fake);
    const std::vector<ReceiptResult> results = {
        ReceiptResult::success({1, 2, 3}),
        ReceiptResult::failure(ReceiptError::Kind::requestFailed, "offline"),
        ReceiptResult::failure(ReceiptError::Kind::invalid)};
    for (const ReceiptResult& expected : results) {
        fake->setReceipt(expected);
        std::optional<ReceiptResult> got;
        bool returned = false;
        StoreKit::shared().fetchReceipt(true, [&](ReceiptResult result) {
            EXPECT_TRUE(returned);
            EXPECT_TRUE(MainQueue::isMainThread());
            got = std::move(result);
        });
        returned = true;
        ASSERT_TRUE(test::runMainUntil([&] { return got.has_value(); }));
        EXPECT_EQ(got->receipt, expected.receipt);
        EXPECT_EQ(got->error, expected.error);
    }
    StoreKit::shared().fetchReceipt(false, nullptr);
    complete(false);  // after the fetch above, on the same queue
    const auto fetches = fake->receiptFetches();
    ASSERT_EQ(fetches.size(), 4u);
    EXPECT_TRUE(fetches[0].refresh);
    EXPECT_FALSE(fetches[3].refresh);
}

TEST_F(Store, TheFakeRecordsFinishesAndForgetsFinishedTransactions) {
    auto fake = std::make_shared<InMemoryStoreBackend>();
    StoreKit::shared().setBackend(fake);
    const StoreTransaction bought{"T1", TransactionState::purchased, "p.60"};
    fake->addTransaction({"p.60", 1, bought, std::nullopt, true});
    fake->addTransaction(
        {"p.60", 1, {std::nullopt, TransactionState::deferred, "p.60"}, std::nullopt, true});

    EXPECT_EQ(describe(complete(false)),
              (std::vector<std::string>{"T1 purchased needs-finish", "- deferred"}));
    StoreKit::shared().finishTransaction(bought);
    StoreKit::shared().finishTransaction(bought);  // already finished: nothing more happens
    EXPECT_EQ(describe(complete(false)), (std::vector<std::string>{"- deferred"}));
    EXPECT_EQ(fake->finishedTransactions(), std::vector<StoreTransaction>{bought});
}

}  // namespace
}  // namespace pex
