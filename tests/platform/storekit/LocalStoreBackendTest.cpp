// The local store backend on hand-written files: what it reads, what finishing writes back,
// and the receipt with each of its failure kinds.
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/AtomicFile.h"
#include "platform/storekit/LocalStoreBackend.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using nlohmann::json;

class LocalStore : public ::testing::Test {
  protected:
    void seed(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
    std::string fileText() const {
        std::error_code error;
        return AtomicFile::read(file_, error).value_or("<unreadable>");
    }

    test::TempDir dir_;
    std::filesystem::path file_ = dir_.path() / "store.json";
    LocalStoreBackend backend_{file_};
};

TEST_F(LocalStore, ReadsEveryStateWithItsFieldsAndSkipsEntriesItCannotRead) {
    seed(R"({"transactions": [
        {"productIdentifier": "p.60", "transactionIdentifier": "T1", "state": "purchased", "quantity": 2},
        {"productIdentifier": "p.60", "transactionIdentifier": "T2", "state": "restored",
         "originalTransactionIdentifier": "T0", "needsFinish": false},
        {"productIdentifier": "p.120", "state": "failed", "transactionIdentifier": null},
        {"productIdentifier": "p.120", "state": "purchasing"},
        {"productIdentifier": "p.300", "state": "deferred"},
        {"productIdentifier": "p.1", "state": "refunded"},
        {"state": "purchased"},
        {"productIdentifier": "p.1", "state": "purchased", "quantity": 0},
        {"productIdentifier": "p.1", "state": "purchased", "transactionIdentifier": 7},
        {"productIdentifier": "p.1", "state": "purchased", "needsFinish": "yes"},
        "not an object"
    ]})");

    const std::vector<Purchase> purchases = backend_.unfinishedTransactions();
    const StoreTransaction original{"T0", TransactionState::purchased, "p.60"};
    const std::vector<Purchase> expected = {
        {"p.60", 2, {"T1", TransactionState::purchased, "p.60"}, std::nullopt, true},
        {"p.60", 1, {"T2", TransactionState::restored, "p.60"}, original, false},
        {"p.120", 1, {std::nullopt, TransactionState::failed, "p.120"}, std::nullopt, true},
        {"p.120", 1, {std::nullopt, TransactionState::purchasing, "p.120"}, std::nullopt, true},
        {"p.300", 1, {std::nullopt, TransactionState::deferred, "p.300"}, std::nullopt, true},
    };
    EXPECT_EQ(purchases, expected);
}

TEST_F(LocalStore, FinishingRemovesOneEntryAndKeepsTheRestOfTheFileAsItWas) {
    seed(R"({"note": "seeded by hand", "receipt": "cmVjZWlwdA==", "transactions": [
        {"productIdentifier": "p.60", "transactionIdentifier": "T1", "state": "purchased", "extra": [1, 2]},
        {"productIdentifier": "p.60", "state": "failed"},
        {"productIdentifier": "p.60", "state": "failed"},
        {"productIdentifier": "p.1", "state": "refunded"},
        {"productIdentifier": "p.60", "transactionIdentifier": "T2", "state": "purchased"}
    ]})");
    const json before = json::parse(fileText());

    EXPECT_TRUE(backend_.finishTransaction({"T2", TransactionState::purchased, "p.60"}));
    // Without an identifier a transaction is told apart by product and state: one goes.
    EXPECT_TRUE(backend_.finishTransaction({std::nullopt, TransactionState::failed, "p.60"}));
    EXPECT_FALSE(backend_.finishTransaction({"T9", TransactionState::purchased, "p.60"}));
    EXPECT_FALSE(backend_.finishTransaction({std::nullopt, TransactionState::failed, "p.other"}));

    json expected = before;
    expected["transactions"].erase(4);
    expected["transactions"].erase(1);
    EXPECT_EQ(json::parse(fileText()), expected);
    EXPECT_EQ(backend_.unfinishedTransactions().size(), 2u);
}

TEST_F(LocalStore, AFileThatIsNotJsonReportsNothingAndIsNeverRewritten) {
    for (const std::string text : {"{\"transactions\": [", "[1, 2]", "plain text"}) {
        SCOPED_TRACE(text);
        seed(text);
        EXPECT_TRUE(backend_.unfinishedTransactions().empty());
        EXPECT_FALSE(backend_.finishTransaction({std::nullopt, TransactionState::failed, "p.60"}));
        EXPECT_EQ(fileText(), text);
        EXPECT_EQ(backend_.receipt(true).error->kind, ReceiptError::Kind::undecodable);
    }
    seed(R"({"transactions": {"productIdentifier": "p.60"}})");
    EXPECT_TRUE(backend_.unfinishedTransactions().empty());
}

TEST_F(LocalStore, AMissingFileHasNoTransactionsAndNoReceipt) {
    EXPECT_TRUE(backend_.unfinishedTransactions().empty());
    EXPECT_FALSE(backend_.finishTransaction({"T1", TransactionState::purchased, "p.60"}));
    EXPECT_FALSE(std::filesystem::exists(file_));
    EXPECT_EQ(backend_.receipt(true).error->kind, ReceiptError::Kind::noReceiptData);
}

TEST_F(LocalStore, ReceiptIsTheDecodedBase64OrTheMatchingFailure) {
    using Kind = ReceiptError::Kind;
    const std::vector<std::pair<std::string, std::optional<Kind>>> cases = {
        {R"({"receipt": "cmVjZWlwdC0x"})", std::nullopt},
        {R"({"receipt": "cmVj\nZWlw dC0x"})", std::nullopt},  // pasted with line breaks
        {R"({"transactions": []})", Kind::noReceiptData},
        {R"({"receipt": null})", Kind::noReceiptData},
        {R"({"receipt": ""})", Kind::noRemoteData},
        {R"({"receipt": "not base64!"})", Kind::undecodable},
        {R"({"receipt": 12})", Kind::undecodable},
    };
    for (const auto& [text, failure] : cases) {
        SCOPED_TRACE(text);
        seed(text);
        const ReceiptResult result = backend_.receipt(true);
        if (failure) {
            ASSERT_TRUE(result.error);
            EXPECT_FALSE(result.receipt);
            EXPECT_EQ(result.error->kind, *failure);
        } else {
            ASSERT_TRUE(result.receipt);
            EXPECT_EQ(std::string(result.receipt->begin(), result.receipt->end()), "receipt-1");
        }
    }
}

TEST_F(LocalStore, AFileThatCannotBeReadIsAFailedRequestWithItsReason) {
    std::filesystem::create_directories(file_);  // a folder where the file should be
    const ReceiptResult result = backend_.receipt(true);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, ReceiptError::Kind::requestFailed);
    EXPECT_FALSE(result.error->description.empty());
    EXPECT_TRUE(backend_.unfinishedTransactions().empty());
}

}  // namespace
}  // namespace pex
